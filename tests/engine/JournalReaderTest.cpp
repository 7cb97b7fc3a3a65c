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

class JournalReplaced : public EngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(JournalReplaced, IsSaidAndReadFromItsFirstRecord) {
    const bool deleteOnly = GetParam();
    ASSERT_TRUE(Open());
    volume.MakeFile(SimVolume::kRoot, u"first.txt");
    CatchUp();
    const std::int64_t oldStart = platform.Clock().FileTime();
    const std::int64_t oldNext = volume.JournalData()->NextUsn;
    platform.Clock().Advance(100 * kSecond);
    gate.CloseAndWaitForTheReader();
    if (deleteOnly) {
        volume.DeleteJournal();  // the engine's recovery creates it again
    } else {
        volume.RecreateJournal();
        // In the new journal before the recovery, stamped before the watch began: a change
        // made since the old journal went, reported whatever its stamp.
        volume.AppendRecord(
            CloseRecord(ntfs::MakeFileReference(950, 1), oldStart - 10 * kSecond, u"early.txt"));
    }
    pauses.Hold();
    gate.Open();
    // Until the engine has seen the new journal, its answer to a read is a failure; its
    // first pause comes after it has read the new journal.
    ASSERT_TRUE(pauses.AwaitPause());
    pauses.Free();
    CatchUp();
    volume.MakeFile(SimVolume::kRoot, u"second.txt");
    CatchUp();
    const std::string gap = "Gap replaced " + std::to_string(oldNext) + ".." +
                            std::to_string(volume.JournalData()->FirstUsn);
    std::vector<std::string> expected{"Created C:\\|first.txt", gap};
    if (!deleteOnly) {
        expected.push_back("Content C:\\|early.txt");
    }
    expected.push_back("Created C:\\|second.txt");
    EXPECT_EQ(log.Changes(), expected);
    EXPECT_EQ(log.Count("Started"), 1);
    watcher.Stop();
    EXPECT_EQ(watcher.Position().journalId, volume.JournalData()->UsnJournalID);
}

INSTANTIATE_TEST_SUITE_P(DeletedOrRecreated, JournalReplaced, ::testing::Values(true, false));

// Someone deletes the journal (fsutil, a disk tool): NTFS answers at once and deletes in
// the background, failing every request on the journal until it is done. The watch waits
// for that and goes on with the journal its recovery then creates.
struct DeletionCase {
    const char* name;
    int requests;  // how long the deletion lasts; kUntilFinished: until the test ends it
};

class JournalBeingDeleted : public EngineTest,
                            public ::testing::WithParamInterface<DeletionCase> {};

TEST_P(JournalBeingDeleted, IsWaitedForAndItsSuccessorReadAsANewPass) {
    ASSERT_TRUE(Open());
    volume.MakeFile(SimVolume::kRoot, u"before.txt");
    CatchUp();
    const std::uint64_t oldId = volume.JournalData()->UsnJournalID;
    pauses.Hold();
    ASSERT_TRUE(pauses.AwaitPause());
    volume.DeleteJournalInBackground(GetParam().requests);
    if (GetParam().requests == SimJournalDeletion::kUntilFinished) {
        // The failed read, then one query for every pause while the deletion lasts.
        ASSERT_TRUE(pauses.NextPause());
        const std::uint64_t queries = volume.RequestCount(ntfs::kFsctlQueryUsnJournal);
        for (std::uint64_t i = 1; i <= 5; ++i) {
            ASSERT_TRUE(pauses.NextPause())
                << "the worker stopped asking while the journal was deleted";
            EXPECT_EQ(volume.RequestCount(ntfs::kFsctlQueryUsnJournal), queries + i);
        }
        EXPECT_TRUE(volume.JournalDeletionInProgress());
        volume.FinishJournalDeletion();
    }
    // The journal only the worker's recovery creates: once it is there, the worker pauses
    // after its first read of it.
    for (int i = 0; i < 100 && !volume.JournalData().has_value(); ++i) {
        ASSERT_TRUE(pauses.NextPause()) << "the watch gave up on the volume";
    }
    ASSERT_TRUE(volume.JournalData().has_value()) << "the deletion never ended";
    pauses.Free();
    EXPECT_NE(volume.JournalData()->UsnJournalID, oldId);
    CatchUp();
    volume.MakeFile(SimVolume::kRoot, u"after.txt");
    CatchUp();
    const std::vector<std::string> changes = log.Changes();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0], "Created C:\\|before.txt");
    EXPECT_EQ(changes[1].rfind("Gap replaced ", 0), 0u) << changes[1];
    EXPECT_EQ(changes[2], "Created C:\\|after.txt");
    EXPECT_EQ(log.Count("Started"), 1);
}

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

INSTANTIATE_TEST_SUITE_P(Table, JournalBeingDeleted,
                         ::testing::Values(DeletionCase{"ends_on_its_own", 12},
                                           DeletionCase{"ends_when_told",
                                                        SimJournalDeletion::kUntilFinished}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, AReaderThatFellBehindAWrappingJournalLosesNothingItStillHolds) {
    ASSERT_TRUE(Open());
    CatchUp();
    gate.CloseAndWaitForTheReader();
    std::vector<std::int64_t> firstUsnOf;
    for (int i = 0; i < 40; ++i) {
        firstUsnOf.push_back(volume.JournalData()->NextUsn);
        volume.MakeFile(SimVolume::kRoot, u"f" + FromUtf8(std::to_string(i)) + u".txt");
    }
    volume.DropRecordsBefore(firstUsnOf[15]);  // the journal wrapped over f0..f14
    gate.Open();
    CatchUp();
    watcher.Stop();
    // Said once, with the Usn range lost.
    std::vector<std::string> expected{"Gap overwritten " + std::to_string(firstUsnOf[0]) + ".." +
                                      std::to_string(firstUsnOf[15])};
    for (int i = 15; i < 40; ++i) {
        expected.push_back("Created C:\\|f" + std::to_string(i) + ".txt");
    }
    EXPECT_EQ(log.Changes(), expected);
}

TEST_F(EngineTest, ARemovedVolumeEndsTheWorkerAndSaysSo) {
    ASSERT_TRUE(Open());
    pauses.Hold();
    ASSERT_TRUE(pauses.AwaitPause());
    const auto count = [&](std::uint32_t code) { return volume.RequestCount(code); };
    const std::uint64_t reads = count(ntfs::kFsctlReadUsnJournal);
    const std::uint64_t queries = count(ntfs::kFsctlQueryUsnJournal);
    const std::uint64_t pausesBefore = pauses.PausesBegun();
    RequestLatch queried(volume, ntfs::kFsctlQueryUsnJournal);
    volume.SetRemoved(true);
    pauses.Release();
    // The read fails, the query tells that the volume is gone; the worker ends there. One
    // that asked again would have to read or to pause first, and both are counted.
    const bool asked = queried.Wait();
    const bool said = log.WaitForCount(2);  // Started, then the end
    watcher.Stop();
    ASSERT_TRUE(asked) << "the worker did not look for the journal after the failed read";
    ASSERT_TRUE(said) << "the worker ended without a word";
    EXPECT_EQ(count(ntfs::kFsctlReadUsnJournal), reads + 1) << "the worker asked the volume again";
    EXPECT_EQ(count(ntfs::kFsctlQueryUsnJournal), queries + 1);
    EXPECT_EQ(count(ntfs::kFsctlCreateUsnJournal), 0u);
    EXPECT_EQ(pauses.PausesBegun(), pausesBefore) << "the worker waited to ask again";
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
    EXPECT_EQ(log.Changes(), std::vector<std::string>{"Ended volumeGone"});
    EXPECT_EQ(watcher.EndedBy(), WatchEnd::kVolumeGone);
}

// A read that fails again right after a recovery is followed by the idle wait before the
// next recovery: a failure that persists costs a read and a query twenty times a second.
TEST_F(EngineTest, AFailureThatPersistsDoesNotSpin) {
    ASSERT_TRUE(Open());
    pauses.Hold();
    ASSERT_TRUE(pauses.AwaitPause());
    const auto reads = [this] { return volume.RequestCount(ntfs::kFsctlReadUsnJournal); };
    const std::uint64_t before = reads();
    volume.FailNextRequests(1000000, ntfs::kFsctlReadUsnJournal);
    // The first failure is recovered from at once; the read after the recovery fails too.
    ASSERT_TRUE(pauses.NextPause()) << "a failing read is tried again without a pause";
    EXPECT_EQ(reads(), before + 2);
    for (std::uint64_t i = 1; i <= 5; ++i) {
        ASSERT_TRUE(pauses.NextPause()) << "a failing read is tried again without a pause";
        EXPECT_EQ(reads(), before + 2 + i);
    }
    EXPECT_EQ(pauses.PauseLengths(), std::vector<unsigned>(7, kTwentiethOfASecondMs));
    watcher.Stop();  // ends the pause, which has no end of its own
    EXPECT_EQ(reads(), before + 7);
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
