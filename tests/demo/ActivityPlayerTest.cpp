// The player runs a source on a thread of its own and ends it through the stop signal
// (run under ThreadSanitizer).

#include "demo/ActivityPlayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// Counts its rounds; each round waits on the stop signal as a source's loop does.
class CountingSource final : public ActivitySource {
public:
    void Prepare() override {}
    void Run(StopSignal& stop) override {
        ++runs;
        while (!stop.WaitFor(20)) {
            ++rounds;
        }
        stopped = true;
    }
    std::atomic<int> runs{0};
    std::atomic<int> rounds{0};
    std::atomic<bool> stopped{false};
};

TEST(ActivityPlayer, PlaysTheSourceOnceUntilStoppedAndEndsItPromptly) {
    CountingSource source;
    {
        ActivityPlayer player(source);
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (source.rounds < 3 && Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_GE(source.rounds, 3);
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
