#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "EngineTestSupport.h"
#include "ntfs/JournalRecords.h"

namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kSecond = ntfs::kFileTimeTicksPerSecond;

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

TEST_F(EngineTest, RecordsOlderThanTheWatchStartAreDroppedThoseOfItsSecondKept) {
    const std::int64_t start = SimClock::FromUnixSeconds(1700000000);
    platform.Clock().Set(start - 10 * kSecond);
    volume.MakeFile(SimVolume::kRoot, u"before.txt");
    volume.AppendRecord(
        CloseRecord(ntfs::MakeFileReference(900, 1), start - 1, u"just-before.txt"));
    volume.AppendRecord(
        CloseRecord(ntfs::MakeFileReference(901, 1), start + 1000, u"same-second.txt"));
    platform.Clock().Set(start + 7 * kSecond / 10);  // the watch starts at .7 s
    ASSERT_TRUE(watcher.Open(u'C', Paths({}), log.Slots()));
    volume.MakeFile(SimVolume::kRoot, u"after.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(),
              (std::vector<std::string>{"Content C:\\|same-second.txt", "Created C:\\|after.txt"}));
}

// The clock set back during a watch (by hand, or by a large correction): what is written
// from then on is still new, whatever its time stamp says.
TEST_F(EngineTest, ChangesMadeAfterTheClockIsSetBackAreReported) {
    ASSERT_TRUE(Open());
    volume.MakeFile(SimVolume::kRoot, u"before.txt");
    CatchUp();
    platform.Clock().Advance(-3600 * kSecond);
    volume.MakeFile(SimVolume::kRoot, u"an-hour-earlier.txt");
    volume.AppendRecord(CloseRecord(
        ntfs::MakeFileReference(902, 1),
        static_cast<std::int64_t>(watcher.WatchStart()) - 86400 * kSecond, u"a-day-earlier.txt"));
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

TEST_F(EngineTest, AnIdleWatchReadsAboutTwentyTimesASecond) {
    ASSERT_TRUE(Open());
    CatchUp();
    const auto before = probe.ReadCount();
    std::this_thread::sleep_for(500ms);
    const auto reads = probe.ReadCount() - before;
    EXPECT_GE(reads, 3u);
    EXPECT_LE(reads, 12u) << "the empty read is not followed by its wait";
}

TEST_F(EngineTest, AStopDuringTheIdleWaitHandsNothingFurtherOn) {
    ASSERT_TRUE(Open());
    CatchUp();  // an empty read was answered: the worker now waits 50 ms
    volume.MakeFile(SimVolume::kRoot, u"late.txt");
    const auto stopping = std::chrono::steady_clock::now();
    watcher.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 2s);
    EXPECT_TRUE(log.Changes().empty());
}

class JournalReplaced : public EngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(JournalReplaced, ANewJournalStartsANewPassFromNow) {
    const bool deleteOnly = GetParam();
    ASSERT_TRUE(Open());
    volume.MakeFile(SimVolume::kRoot, u"first.txt");
    CatchUp();
    const std::int64_t oldStart = static_cast<std::int64_t>(watcher.WatchStart());
    platform.Clock().Advance(100 * kSecond);
    gate.CloseAndWaitForTheReader();
    if (deleteOnly) {
        volume.DeleteJournal();  // the engine's recovery creates it again
    } else {
        volume.RecreateJournal();
        // In the new journal before the recovery, stamped after the first watch start:
        // no longer wanted.
        volume.AppendRecord(
            CloseRecord(ntfs::MakeFileReference(950, 1), oldStart + 10 * kSecond, u"stale.txt"));
    }
    gate.Open();
    // Until the engine has seen the new journal, its answer to a read is a failure.
    for (int i = 0; i < 200 && !volume.JournalData().has_value(); ++i) {
        std::this_thread::sleep_for(5ms);
    }
    CatchUp();
    volume.MakeFile(SimVolume::kRoot, u"second.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(),
              (std::vector<std::string>{"Created C:\\|first.txt", "Created C:\\|second.txt"}));
    EXPECT_EQ(log.Count("Started"), 1);
    watcher.Stop();
    EXPECT_GT(static_cast<std::int64_t>(watcher.WatchStart()), oldStart);
    EXPECT_EQ(watcher.JournalData().UsnJournalID, volume.JournalData()->UsnJournalID);
}

INSTANTIATE_TEST_SUITE_P(DeletedOrRecreated, JournalReplaced, ::testing::Values(true, false));

// Someone deletes the journal (fsutil, a disk tool): NTFS answers at once and deletes in
// the background, failing every request on the journal until it is done. The watch waits
// for that and goes on with the journal its recovery then creates.
struct DeletionCase {
    const char* name;
    int requests;  // how long the deletion lasts; kUntilFinished: until the test ends it
};

class JournalDeletion : public EngineTest {
protected:
    // Waits until the worker has asked the journal `more` more queries.
    bool WaitForQueries(std::uint64_t more) {
        const std::uint64_t target = volume.RequestCount(ntfs::kFsctlQueryUsnJournal) + more;
        for (int i = 0; i < 400; ++i) {
            if (volume.RequestCount(ntfs::kFsctlQueryUsnJournal) >= target) {
                return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
};

class JournalBeingDeleted : public JournalDeletion,
                            public ::testing::WithParamInterface<DeletionCase> {};

TEST_P(JournalBeingDeleted, IsWaitedForAndItsSuccessorReadAsANewPass) {
    ASSERT_TRUE(Open());
    volume.MakeFile(SimVolume::kRoot, u"before.txt");
    CatchUp();
    const std::uint64_t oldId = volume.JournalData()->UsnJournalID;
    volume.DeleteJournalInBackground(GetParam().requests);
    if (GetParam().requests == SimJournalDeletion::kUntilFinished) {
        ASSERT_TRUE(WaitForQueries(5)) << "the worker stopped asking while the journal was deleted";
        EXPECT_TRUE(volume.JournalDeletionInProgress());
        volume.FinishJournalDeletion();
    }
    for (int i = 0; i < 400 && !volume.JournalData().has_value(); ++i) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(volume.JournalData().has_value()) << "the watch gave up on the volume";
    EXPECT_NE(volume.JournalData()->UsnJournalID, oldId);
    CatchUp();
    volume.MakeFile(SimVolume::kRoot, u"after.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(),
              (std::vector<std::string>{"Created C:\\|before.txt", "Created C:\\|after.txt"}));
    EXPECT_EQ(log.Count("Started"), 1);
}

TEST_F(JournalDeletion, DoesNotHoldUpAStop) {
    ASSERT_TRUE(Open());
    CatchUp();
    volume.DeleteJournalInBackground();
    ASSERT_TRUE(WaitForQueries(2));
    const auto stopping = std::chrono::steady_clock::now();
    watcher.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);
    const std::uint64_t queries = volume.RequestCount(ntfs::kFsctlQueryUsnJournal);
    std::this_thread::sleep_for(100ms);
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
    const std::uint64_t start = watcher.WatchStart();
    gate.CloseAndWaitForTheReader();
    std::vector<std::int64_t> firstUsnOf;
    for (int i = 0; i < 40; ++i) {
        firstUsnOf.push_back(volume.JournalData()->NextUsn);
        volume.MakeFile(SimVolume::kRoot, u"f" + FromUtf8(std::to_string(i)) + u".txt");
    }
    volume.DropRecordsBefore(firstUsnOf[15]);  // the journal wrapped over f A..f O
    gate.Open();
    CatchUp();
    watcher.Stop();
    std::vector<std::string> expected;
    for (int i = 15; i < 40; ++i) {
        expected.push_back("Created C:\\|f" + std::to_string(i) + ".txt");
    }
    EXPECT_EQ(log.Changes(), expected);
    EXPECT_EQ(watcher.WatchStart(), start) << "the same journal keeps the watch start";
}

TEST_F(EngineTest, ARemovedVolumeEndsTheWorker) {
    ASSERT_TRUE(Open());
    CatchUp();
    volume.SetRemoved(true);
    std::uint64_t requests = 0;
    auto total = [&] {
        return volume.RequestCount(ntfs::kFsctlReadUsnJournal) +
               volume.RequestCount(ntfs::kFsctlCreateUsnJournal);
    };
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(20ms);
        const std::uint64_t now = total();
        if (now == requests && i > 5) {
            break;
        }
        requests = now;
    }
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(total(), requests) << "the worker goes on asking a removed volume";
    watcher.Stop();
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

TEST_F(EngineTest, AFailureThatPersistsDoesNotSpin) {
    ASSERT_TRUE(Open());
    CatchUp();
    volume.FailNextRequests(1000000, ntfs::kFsctlReadUsnJournal);
    std::this_thread::sleep_for(100ms);
    const auto before = volume.RequestCount(ntfs::kFsctlReadUsnJournal);
    std::this_thread::sleep_for(500ms);
    EXPECT_LE(volume.RequestCount(ntfs::kFsctlReadUsnJournal) - before, 15u);
    const auto stopping = std::chrono::steady_clock::now();
    watcher.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 2s);
}

TEST_F(EngineTest, AStopDuringALongEnumerationIsPrompt) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    for (int i = 0; i < 20000; ++i) {
        volume.AddExisting(data, u"d" + FromUtf8(std::to_string(i)), ntfs::kAttributeDirectory);
    }
    std::atomic<int> enumerations{0};
    volume.SetRequestHook([&](std::uint32_t code) {
        if (code == ntfs::kFsctlEnumUsnData) {
            ++enumerations;
            std::this_thread::sleep_for(5ms);  // a large volume on a slow disk
        }
    });
    ASSERT_TRUE(watcher.Open(u'C', Paths({u"C:\\data"}), log.Slots()));
    while (enumerations < 3) {
        std::this_thread::sleep_for(1ms);
    }
    const auto stopping = std::chrono::steady_clock::now();
    watcher.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);
    const int seen = enumerations;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(enumerations, seen);
    EXPECT_LT(seen, 100) << "the enumeration ran to its end";
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
