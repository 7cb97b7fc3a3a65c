#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "engine/StopSignal.h"

// A stop signal whose timed waits (the worker's pauses after an empty read, before a retry)
// a test can hold: a held pause ends when the test releases it or at a stop, never on the
// clock, so that the test counts what the worker does from one pause to the next instead
// of timing it. Until Hold, and for waits of no length, it is the program's signal.
class PacedStopSignal final : public StopSignal {
public:
    bool WaitFor(unsigned milliseconds) override {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!holding_ || milliseconds == 0) {
            lock.unlock();
            return StopSignal::WaitFor(milliseconds);
        }
        const std::uint64_t number = ++pausesBegun_;
        pauseLengths_.push_back(milliseconds);
        changed_.notify_all();
        changed_.wait(lock, [&] { return set_ || pausesReleased_ >= number; });
        pausesReleased_ = std::max(pausesReleased_, number);  // also when a stop ended it
        return set_;
    }

    // Every timed wait from now on is a held pause.
    void Hold() {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = true;
    }
    // Back to the clock: the pause in progress ends, the next waits run their time.
    void Free() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            holding_ = false;
        }
        Release();
    }
    // Waits until the worker is in a held pause; false when none begins in time.
    bool AwaitPause() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience,
                                 [this] { return pausesBegun_ > pausesReleased_; });
    }
    // Ends the pause in progress.
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pausesReleased_ = pausesBegun_;
        }
        changed_.notify_all();
    }
    // Ends the pause in progress and waits until the worker is in the next.
    bool NextPause() {
        Release();
        return AwaitPause();
    }
    // Blocks the calling thread (a request hook on the worker's) until the signal is set.
    void WaitUntilSet() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return set_; });
    }

    std::uint64_t PausesBegun() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return pausesBegun_;
    }
    // How long each held pause would have lasted on the clock, in milliseconds.
    std::vector<unsigned> PauseLengths() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return pauseLengths_;
    }

private:
    // Only a worker that never pauses again makes a test wait this long.
    static constexpr std::chrono::seconds kPatience{20};

    bool holding_ = false;
    std::uint64_t pausesBegun_ = 0;
    std::uint64_t pausesReleased_ = 0;
    std::vector<unsigned> pauseLengths_;
};
