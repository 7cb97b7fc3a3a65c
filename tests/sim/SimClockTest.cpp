// The simulated machine's clock: FILETIME with sub-second ticks, whole unix seconds.

#include "sim/SimClock.h"

#include <gtest/gtest.h>

#include "ntfs/JournalRecords.h"

namespace {

TEST(SimClockTest, UnixSecondsRoundTowardsThePast) {
    struct Case {
        std::int64_t fileTime;
        std::int64_t seconds;
    };
    const Case cases[] = {
        {ntfs::kUnixEpochAsFileTime, 0},
        {ntfs::kUnixEpochAsFileTime + 9999999, 0},
        {ntfs::kUnixEpochAsFileTime + 10000000, 1},
        {ntfs::kUnixEpochAsFileTime - 1, -1},
        {SimClock::kDefaultStart, 1714988487},  // 2024-05-06 09:41:27.3456789 UTC
    };
    for (const Case& c : cases) {
        SimClock clock(c.fileTime);
        EXPECT_EQ(clock.UnixSeconds(), c.seconds) << c.fileTime;
    }
    EXPECT_EQ(SimClock::FromUnixSeconds(1), ntfs::kUnixEpochAsFileTime + 10000000);
}

TEST(SimClockTest, StampsStepOnAndTheRealClockCanBeFollowed) {
    SimClock clock(1000);
    EXPECT_EQ(clock.Stamp(), 1000);
    EXPECT_EQ(clock.Stamp(), 1000);
    clock.SetStepPerStamp(7);
    EXPECT_EQ(clock.Stamp(), 1000);
    EXPECT_EQ(clock.Stamp(), 1007);
    EXPECT_EQ(clock.FileTime(), 1014);
    clock.Advance(6);
    EXPECT_EQ(clock.FileTime(), 1020);

    clock.FollowSystemClock(true);
    const std::int64_t before = SimClock::SystemFileTime();
    const std::int64_t now = clock.FileTime();
    EXPECT_GE(now, before);
    EXPECT_LT(now - before, 60 * ntfs::kFileTimeTicksPerSecond);
    clock.Set(5);  // a set time stops following
    EXPECT_EQ(clock.FileTime(), 5);
}

}  // namespace
