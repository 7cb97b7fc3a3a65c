#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "engine/WatcherSlots.h"

// Every slot bound, each call kept as its value. The engine's worker calls the slots while
// the test reads them, hence the lock; a test can wait until some number of calls came.
// The recorder must outlive every engine given its slots.
class SlotRecorder {
public:
    SlotRecorder() = default;
    SlotRecorder(const SlotRecorder&) = delete;
    SlotRecorder& operator=(const SlotRecorder&) = delete;

    WatcherSlots Slots() {
        return WatcherSlots::Every([this](const FileChange& change) { Add(change); });
    }

    std::vector<FileChange> Changes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return changes_;
    }
    std::size_t Count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return changes_.size();
    }
    // Until `count` calls have come; false if they did not within `limit`, which only
    // guards a failing test from hanging.
    bool WaitForCount(std::size_t count,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, limit, [&] { return changes_.size() >= count; });
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        changes_.clear();
    }

private:
    void Add(const FileChange& change) {
        std::lock_guard<std::mutex> lock(mutex_);
        changes_.push_back(change);
        arrived_.notify_all();
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<FileChange> changes_;
};
