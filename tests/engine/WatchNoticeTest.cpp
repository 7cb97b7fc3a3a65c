// Nothing lost without a word: when the journal drops records the reader had not reached,
// the watch says so once and goes on; when the watch ends by itself, it says why, once, and
// its worker ends. A stop asked for says nothing.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "ntfs/Win32Codes.h"

namespace {

using Lines = std::vector<std::string>;

struct NoticeCase {
    const char* name;
    // Done while the worker is held at its next read; answers the notice expected.
    std::function<std::string(SimVolume& volume, const std::vector<std::int64_t>& usnOf)> fault;
    bool watchGoesOn;  // later changes are still reported
};

std::string Gap(const char* reason, std::int64_t from, std::int64_t to) {
    return std::string("Gap ") + reason + " " + std::to_string(from) + ".." + std::to_string(to);
}

const NoticeCase kNoticeCases[] = {
    {"journal_wrapped_past_the_reader",
     [](SimVolume& volume, const std::vector<std::int64_t>& usnOf) {
         volume.DropRecordsBefore(usnOf[3]);
         return Gap("overwritten", usnOf[0], usnOf[3]);
     },
     true},
    {"journal_deleted_and_made_again",
     [](SimVolume& volume, const std::vector<std::int64_t>& usnOf) {
         volume.RecreateJournal();
         return Gap("replaced", usnOf[0], volume.JournalData()->FirstUsn);
     },
     true},
    {"journal_deleted",  // the watch makes it again
     [](SimVolume& volume, const std::vector<std::int64_t>&) {
         volume.DeleteJournal();
         return std::string("Gap replaced");
     },
     true},
    {"volume_gone",
     [](SimVolume& volume, const std::vector<std::int64_t>&) {
         volume.SetRemoved(true);
         return std::string("Ended volumeGone");
     },
     false},
    {"journal_cannot_be_made_again",
     [](SimVolume& volume, const std::vector<std::int64_t>&) {
         volume.DeleteJournal();
         volume.FailNextRequests(1000000, ntfs::kFsctlCreateUsnJournal, win32::kErrorAccessDenied);
         return std::string("Ended journalUnavailable");
     },
     false},
};

class WatchNotices : public EngineTest, public ::testing::WithParamInterface<NoticeCase> {
protected:
    // Five files made while the reader is held: the Usn each began at, and the next one.
    std::vector<std::int64_t> MakeFilesWhileHeld() {
        std::vector<std::int64_t> usnOf;
        for (int i = 0; i < 5; ++i) {
            usnOf.push_back(volume.JournalData()->NextUsn);
            volume.MakeFile(SimVolume::kRoot, u"held" + FromUtf8(std::to_string(i)) + u".txt");
        }
        usnOf.push_back(volume.JournalData()->NextUsn);
        return usnOf;
    }
};

TEST_P(WatchNotices, AreSaidOnceAndWhatTheJournalStillHoldsStillComes) {
    volume.MakeFile(SimVolume::kRoot, u"history.txt");  // the journal does not begin at 0
    ASSERT_TRUE(Open());
    gate.CloseAndWaitForTheReader();
    const std::vector<std::int64_t> usnOf = MakeFilesWhileHeld();
    const std::string notice = GetParam().fault(volume, usnOf);
    Lines expected;
    if (GetParam().watchGoesOn) {
        // The first pause comes after the first read of the journal the recovery found.
        pauses.Hold();
        gate.Open();
        ASSERT_TRUE(pauses.AwaitPause());
        pauses.Free();
        CatchUp();
        volume.MakeFile(SimVolume::kRoot, u"after.txt");
        CatchUp();
        watcher.Stop();
        const Lines changes = log.Changes();
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes[0].rfind(notice, 0), 0u) << changes[0];
        // What the journal still held after a wrap comes, and what came after.
        Lines rest(changes.begin() + 1, changes.end());
        if (std::string(GetParam().name) == "journal_wrapped_past_the_reader") {
            expected = {"Created C:\\|held3.txt", "Created C:\\|held4.txt"};
        }
        expected.push_back("Created C:\\|after.txt");
        EXPECT_EQ(rest, expected);
        EXPECT_EQ(watcher.EndedBy(), std::nullopt);
    } else {
        gate.Open();
        ASSERT_TRUE(log.WaitForCount(2)) << "the watch did not end by itself";
        watcher.Stop();  // waits for the worker, which ends by itself
        EXPECT_EQ(log.Changes(), Lines{notice});
        EXPECT_TRUE(watcher.EndedBy().has_value());
    }
    EXPECT_EQ(log.Count("Started"), 1);
}

INSTANTIATE_TEST_SUITE_P(Table, WatchNotices, ::testing::ValuesIn(kNoticeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, ARemovalAskedForEndsTheWatchClosesTheVolumeAndSaysSo) {
    ASSERT_TRUE(Open());
    volume.MakeFile(SimVolume::kRoot, u"before.txt");
    CatchUp();
    EXPECT_EQ(platform.OpenVolumeCount(), 1u);
    watcher.StopForRemoval();
    EXPECT_EQ(platform.OpenVolumeCount(), 0u) << "the open volume would hold up the removal";
    EXPECT_EQ(log.Changes(), (Lines{"Created C:\\|before.txt", "Ended removalRequested"}));
    EXPECT_EQ(watcher.EndedBy(), WatchEnd::kRemovalRequested);
    watcher.StopForRemoval();  // nothing more: the watch has ended
    EXPECT_EQ(log.Count("Ended removalRequested"), 1);
}

TEST_F(EngineTest, AStopAskedForSaysNothing) {
    ASSERT_TRUE(Open());
    watcher.Stop();
    EXPECT_TRUE(log.Changes().empty());
    EXPECT_EQ(watcher.EndedBy(), std::nullopt);
}

// The position a later watch may resume from follows what has been handed on.
TEST_F(EngineTest, ThePositionIsWhereEveryRecordBeforeHasBeenHandedOn) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(watcher.Position(),
              (JournalPosition{volume.JournalData()->UsnJournalID, volume.JournalData()->NextUsn}));
    volume.MakeFile(SimVolume::kRoot, u"a.txt");
    CatchUp();
    EXPECT_EQ(watcher.Position().usn, volume.JournalData()->NextUsn);
}

}  // namespace
