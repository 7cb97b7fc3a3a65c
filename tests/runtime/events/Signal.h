#pragma once

#include <condition_variable>
#include <mutex>

// A one-shot signal between test threads. (std::latch would do, but its MinGW build can
// miss a wake-up and wait for ever.)
class Signal {
public:
    void Set() {
        std::lock_guard lock(mutex_);
        set_ = true;
        changed_.notify_all();
    }

    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};
