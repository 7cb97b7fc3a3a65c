#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "RequestLatch.h"
#include "ntfs/JournalRecords.h"

namespace {

constexpr std::int64_t kSecond = ntfs::kFileTimeTicksPerSecond;
constexpr unsigned kTwentiethOfASecondMs = 50;

SimRecord CloseRecord(std::uint64_t file, std::int64_t stamp, const char16_t* name) {
    SimRecord r;
    r.fileReference = file;
    r.parentReference = SimVolume::kRoot;
    r.timeStamp = stamp;
    r.reason = ntfs::kReasonClose | ntfs::kReasonDataExtend;
    r.attributes = ntfs::kAttributeArchive;
    r.name = name;
    return r;
}

// What is new is told by the journal's sequence: the watch begins at the journal's next
// record, so nothing the journal held is read or reported, whatever the records' stamps
// and the clock say (a clock hours behind, as after a flat CMOS battery or a hardware
// clock kept in UTC, stamps fresh records earlier than old ones).
struct ClockCase {
    const char* name;
    std::int64_t clockAtStart;  // from the last old record's stamp
};

class WatchStart : public EngineTest, public ::testing::WithParamInterface<ClockCase> {};

TEST_P(WatchStart, ReadsNoRecordTheJournalHeldWhateverTheClockSays) {
    const std::int64_t now = SimClock::FromUnixSeconds(1700000000);
    platform.Clock().Set(now);
    for (int i = 0; i < 50; ++i) {
        volume.MakeFile(SimVolume::kRoot, u"old" + FromUtf8(std::to_string(i)) + u".txt", 10);
    }
    volume.AppendRecord(
        CloseRecord(ntfs::MakeFileReference(900, 1), now + 3600 * kSecond, u"stamped-later.txt"));
    platform.Clock().Set(now + GetParam().clockAtStart);
    ASSERT_TRUE(watcher.Open(u'C', Paths({}), log.Slots()));
    CatchUp();
    EXPECT_EQ(probe.RecordBytesRead(), 0u) << "the start read records the journal held";
    volume.MakeFile(SimVolume::kRoot, u"new.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(), (std::vector<std::string>{"Created C:\\|new.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Table, WatchStart,
                         ::testing::Values(ClockCase{"in_time", 10 * kSecond},
                                           ClockCase{"eight_hours_behind", -8 * 3600 * kSecond},
                                           ClockCase{"a_day_ahead", 86400 * kSecond}),
                         [](const auto& info) { return std::string(info.param.name); });

// The clock set back during a watch (by hand, or by a large correction): what is written
// from then on is still new, whatever its time stamp says.
TEST_F(EngineTest, ChangesMadeAfterTheClockIsSetBackAreReported) {
    ASSERT_TRUE(Open());
    volume.MakeFile(SimVolume::kRoot, u"before.txt");
    CatchUp();
    platform.Clock().Advance(-3600 * kSecond);
    volume.MakeFile(SimVolume::kRoot, u"an-hour-earlier.txt");
    volume.AppendRecord(CloseRecord(ntfs::MakeFileReference(902, 1),
                                    platform.Clock().FileTime() - 86400 * kSecond,
                                    u"a-day-earlier.txt"));
    CatchUp();
    EXPECT_EQ(log.Changes(), (std::vector<std::string>{"Created C:\\|before.txt",
                                                       "Created C:\\|an-hour-earlier.txt",
                                                       "Content C:\\|a-day-earlier.txt"}));
}

TEST_F(EngineTest, OnStartedComesOncePerWorkerAndIsNeverLost) {
    volume.MakeDirectory(SimVolume::kRoot, u"data");
    for (int i = 0; i < 25; ++i) {
        ASSERT_TRUE(i % 2 ? Open({u"C:\\data"}) : Open());
        watcher.Stop();
    }
    EXPECT_EQ(log.Count("Started"), 25);
}

TEST_F(EngineTest, StartedComesAfterTheEnumerationAndBeforeAnyChange) {
    volume.MakeDirectory(SimVolume::kRoot, u"data");
    ASSERT_TRUE(Open({u"C:\\data"}));
    volume.MakeFile(volume.Lookup(u"\\data"), u"a.txt");
    CatchUp();
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Started", "Created C:\\data\\|a.txt"}));
    EXPECT_GT(volume.RequestCount(ntfs::kFsctlEnumUsnData), 0u);
}

TEST_F(EngineTest, AnEngineWithoutBindingsRunsAndReportsNothing) {
    ASSERT_TRUE(watcher.Open(u'C', Paths({}), WatcherSlots{}));
    volume.MakeFile(SimVolume::kRoot, u"a.txt");
    CatchUp();
    EXPECT_TRUE(watcher.WorkerRunning());
    watcher.Stop();
    EXPECT_TRUE(log.Lines().empty());
}

// An empty read is followed by the idle wait, a twentieth of a second, and one read by the
// next: an idle watch reads twenty times a second, and never spins.
TEST_F(EngineTest, AnIdleWatchReadsOnceForEveryIdleWait) {
    ASSERT_TRUE(Open());
    pauses.Hold();
    ASSERT_TRUE(pauses.AwaitPause()) << "the empty read is not followed by its wait";
    const std::uint64_t reads = probe.ReadCount();
    for (std::uint64_t i = 1; i <= 5; ++i) {
        ASSERT_TRUE(pauses.NextPause()) << "the empty read is not followed by its wait";
        EXPECT_EQ(probe.ReadCount(), reads + i);
    }
    EXPECT_EQ(pauses.PauseLengths(), std::vector<unsigned>(6, kTwentiethOfASecondMs));
}

TEST_F(EngineTest, AStopDuringTheIdleWaitHandsNothingFurtherOn) {
    ASSERT_TRUE(Open());
    pauses.Hold();
    ASSERT_TRUE(pauses.AwaitPause());  // an empty read was answered: the worker now waits
    const std::uint64_t reads = probe.ReadCount();
    volume.MakeFile(SimVolume::kRoot, u"late.txt");
    watcher.Stop();  // returns only if the stop ends the wait: a held one has no end of its own
    EXPECT_EQ(probe.ReadCount(), reads);
    EXPECT_TRUE(log.Changes().empty());
}

// Someone deletes the journal and NTFS takes long: the worker's pauses between its
// questions end at a stop.
TEST_F(EngineTest, AJournalBeingDeletedDoesNotHoldUpAStop) {
    ASSERT_TRUE(Open());
    pauses.Hold();
    ASSERT_TRUE(pauses.AwaitPause());
    volume.DeleteJournalInBackground();
    ASSERT_TRUE(pauses.NextPause());
    ASSERT_TRUE(pauses.NextPause());  // between two queries that the deletion failed
    const std::uint64_t queries = volume.RequestCount(ntfs::kFsctlQueryUsnJournal);
    watcher.Stop();
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlQueryUsnJournal), queries);
}

// The stop lands while the third request of a long enumeration is under way (a large
// volume, a slow disk): the enumeration ends with that request.
TEST_F(EngineTest, AStopDuringALongEnumerationIsPrompt) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    for (int i = 0; i < 20000; ++i) {
        volume.AddExisting(data, u"d" + FromUtf8(std::to_string(i)), ntfs::kAttributeDirectory);
    }
    RequestLatch enumerating(volume, ntfs::kFsctlEnumUsnData, 3, [this] { pauses.WaitUntilSet(); });
    ASSERT_TRUE(watcher.Open(u'C', Paths({u"C:\\data"}), log.Slots()));
    const bool reached = enumerating.Wait();
    watcher.Stop();
    ASSERT_TRUE(reached) << "the enumeration ended before its third request";
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlEnumUsnData), 3u)
        << "the enumeration went on after the stop";
    // The watch never began: nothing announced, the journal never read.
    EXPECT_EQ(log.Count("Started"), 0);
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlReadUsnJournal), 0u);
}

TEST_F(EngineTest, RecordsItCannotDecodeAreSteppedOverAndTheWatchGoesOn) {
    ASSERT_TRUE(Open());
    SimRecord other =
        CloseRecord(ntfs::MakeFileReference(960, 1), platform.Clock().FileTime(), u"v3.txt");
    other.majorVersion = 3;
    volume.AppendRecord(other);
    SimRecord outside =
        CloseRecord(ntfs::MakeFileReference(961, 1), platform.Clock().FileTime(), u"x.txt");
    auto bytes = outside.Encode();
    const std::uint16_t farName = 0x7FF0;
    std::memcpy(bytes.data() + offsetof(ntfs::UsnRecordV2Header, FileNameOffset), &farName,
                sizeof farName);
    volume.AppendRaw(bytes);
    volume.MakeFile(SimVolume::kRoot, u"good.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(), (std::vector<std::string>{"Created C:\\|good.txt"}));
}

}  // namespace
