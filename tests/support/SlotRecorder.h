#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/WatcherSlots.h"
#include "report/JsonSlotWriter.h"

// Every slot bound, each call kept as the JSON line the programs write for it: the slot's
// name and all its arguments by name. The engine's worker calls the slots while the test
// reads the lines, hence the lock. The recorder must outlive every engine given its slots.
class SlotRecorder {
public:
    SlotRecorder() = default;
    SlotRecorder(const SlotRecorder&) = delete;
    SlotRecorder& operator=(const SlotRecorder&) = delete;

    WatcherSlots Slots() {
        return JsonSlotWriter([this](const std::string& line) { Add(line); }).Slots();
    }

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }

private:
    void Add(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    }

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};
