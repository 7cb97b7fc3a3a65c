#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

// A binary semaphore that any thread may give back, cheap when nobody waits: trying and
// releasing are single atomic operations; only a waiter (a receiver's teardown) pays for
// a mutex and a condition variable.
class DrainGate {
public:
    bool TryAcquire() {
        int expected = 1;
        return state_.compare_exchange_strong(expected, 0);
    }

    void Acquire() {
        if (TryAcquire()) {
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        ++waiters_;
        released_.wait(lock, [this] { return TryAcquire(); });
        --waiters_;
    }

    void Release() {
        state_.store(1);
        // Sequentially consistent with the waiter's count: either the waiter sees the
        // gate open, or this sees the waiter and wakes it.
        if (waiters_.load() > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            released_.notify_all();
        }
    }

private:
    std::atomic<int> state_{1};
    std::atomic<int> waiters_{0};
    std::mutex mutex_;
    std::condition_variable released_;
};
