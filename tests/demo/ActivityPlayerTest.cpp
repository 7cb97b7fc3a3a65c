// The player runs a source on a thread of its own and ends it through the stop signal
// (run under ThreadSanitizer).

#include "demo/ActivityPlayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Counts its rounds; each round waits on the stop signal as a source's loop does.
class CountingSource final : public ActivitySource {
public:
    void Prepare() override {}
    void Run(StopSignal& stop) override {
        ++runs;
        while (!stop.WaitFor(20)) {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++rounds_;
            counted_.notify_all();
        }
        stopped = true;
    }
    // Until `count` rounds have passed; false after a limit that only keeps a failing test
    // from hanging.
    bool WaitForRounds(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return counted_.wait_for(lock, std::chrono::seconds(30), [&] { return rounds_ >= count; });
    }
    std::atomic<int> runs{0};
    std::atomic<bool> stopped{false};

private:
    std::mutex mutex_;
    std::condition_variable counted_;
    int rounds_ = 0;
};

TEST(ActivityPlayer, PlaysTheSourceOnceUntilStoppedAndEndsItPromptly) {
    CountingSource source;
    {
        ActivityPlayer player(source);
        EXPECT_TRUE(source.WaitForRounds(3));
        player.Stop();
        EXPECT_TRUE(source.stopped);  // Stop returns after the source's Run has
        player.Stop();                // a second Stop does nothing more
    }
    EXPECT_EQ(source.runs, 1);
}

TEST(ActivityPlayer, DestructionStopsAndJoins) {
    CountingSource source;
    { const ActivityPlayer player(source); }
    EXPECT_TRUE(source.stopped);
}

}  // namespace
