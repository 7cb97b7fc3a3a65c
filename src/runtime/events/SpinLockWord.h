#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

// A lock for a handful of reads and writes, one 32-bit word: 1 free, 0 or below held. A
// taker decrements; whoever brings it from 1 to 0 holds it, the others wait until it is
// above 0 again and retry. Release stores 1. It never sleeps in the kernel, so it must
// never be held across a call into other code or another lock.
// lock/unlock are lower case so that std::lock_guard can hold it.
class SpinLockWord {
public:
    SpinLockWord() = default;
    SpinLockWord(const SpinLockWord&) = delete;
    SpinLockWord& operator=(const SpinLockWord&) = delete;

    void lock() {
        while (word_.fetch_sub(1, std::memory_order_acquire) != 1) {
            for (int spins = 0; word_.load(std::memory_order_relaxed) <= 0; ++spins) {
                Pause(spins);
            }
        }
    }

    void unlock() { word_.store(1, std::memory_order_release); }

private:
    static void Pause(int spins) {
        // A holder that lost its processor cannot finish while we spin: give way now and then.
        if (spins % 64 == 63) {
            std::this_thread::yield();
            return;
        }
#if defined(__i386__) || defined(__x86_64__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }

    std::atomic<std::int32_t> word_{1};
};
