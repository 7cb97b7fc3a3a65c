#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// The stop request of a worker, latched: once set it stays set until the owner resets it
// before the next worker starts, so every wait of the worker sees it, not only the first.
class StopSignal {
public:
    virtual ~StopSignal() = default;

    void Set() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            set_ = true;
        }
        changed_.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = false;
    }
    bool IsSet() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return set_;
    }
    // Waits up to `milliseconds` for the signal; answers whether it is set. A test's signal
    // may end its waits on its own terms instead of the clock's.
    virtual bool WaitFor(unsigned milliseconds) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [this] { return set_; });
    }

protected:
    // Shared with a signal that waits on more than the stop, so that a Set wakes its waits.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};
