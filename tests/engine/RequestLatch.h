#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "sim/SimVolume.h"

// Tells a test when the engine's worker has begun its nth control request of one kind on
// a volume, counted from the latch's making; `atIt` runs then on the worker's thread,
// before the request is answered, and may hold the worker there. The latch takes the
// volume's request hook (a ReadGate's too) and gives none back.
class RequestLatch {
public:
    RequestLatch(SimVolume& volume, std::uint32_t code, std::uint64_t nth = 1,
                 std::function<void()> atIt = {})
        : volume_(volume), nth_(nth), atIt_(std::move(atIt)) {
        volume_.SetRequestHook([this, code](std::uint32_t asked) {
            if (asked != code) {
                return;
            }
            bool reached = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                reached = ++seen_ == nth_;
            }
            if (reached) {
                changed_.notify_all();
                if (atIt_) {
                    atIt_();
                }
            }
        });
    }
    ~RequestLatch() { volume_.SetRequestHook(nullptr); }
    RequestLatch(const RequestLatch&) = delete;
    RequestLatch& operator=(const RequestLatch&) = delete;

    // Waits until the nth request has begun; false when it does not come in time.
    bool Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return seen_ >= nth_; });
    }

private:
    SimVolume& volume_;
    const std::uint64_t nth_;
    const std::function<void()> atIt_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t seen_ = 0;
};
