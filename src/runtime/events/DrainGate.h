#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// A binary semaphore that any thread may give back, not only the one that took it: the
// calls of a receiver hold it as a group, and the last call to end may run on another
// thread than the first. Taking and giving back cost one atomic operation each; the mutex
// and condition variable are touched only when a thread waits. (std::binary_semaphore
// enters the kernel on every release with libstdc++ 12, and its MinGW build, like
// std::atomic::wait there, can miss a wake-up and wait for ever.)
class DrainGate {
public:
    DrainGate() = default;
    DrainGate(const DrainGate&) = delete;
    DrainGate& operator=(const DrainGate&) = delete;

    bool TryTake() {
        std::int32_t open = kOpen;
        return state_.compare_exchange_strong(open, kTaken, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }

    // Waits until the gate is open. The gate is marked as waited for before each look,
    // under the mutex, so a Give that follows takes the mutex and its wake-up cannot fall
    // between our look and our sleep.
    void Take() {
        if (TryTake()) {
            return;
        }
        std::unique_lock lock(waitMutex_);
        while (state_.exchange(kTakenAndWaited, std::memory_order_acquire) != kOpen) {
            opened_.wait(lock);
        }
    }

    void Give() {
        if (state_.exchange(kOpen, std::memory_order_release) == kTakenAndWaited) {
            std::lock_guard lock(waitMutex_);
            opened_.notify_all();
        }
    }

private:
    static constexpr std::int32_t kOpen = 0;
    static constexpr std::int32_t kTaken = 1;
    static constexpr std::int32_t kTakenAndWaited = 2;

    std::atomic<std::int32_t> state_{kOpen};
    std::mutex waitMutex_;
    std::condition_variable opened_;
};
