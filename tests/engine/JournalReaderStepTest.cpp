// The reader's turns, one by one: what a turn reads, says and asks for, and where the
// driver must pause. The worker's own loop over the turns is tested in JournalReaderTest.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SteppedReader.h"
#include "runtime/text/Utf8.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(SteppedReaderTest, AnEmptyJournalIsOneReadATurnAndAPauseAfterEach) {
    Begin();
    const std::uint64_t reads = Requests(ntfs::kFsctlReadUsnJournal);
    for (int i = 1; i <= 5; ++i) {
        const JournalReader::Turn turn = Turn();
        EXPECT_EQ(turn.outcome, Outcome::kIdle);
        EXPECT_TRUE(turn.pauseAfter) << "an idle watch would spin";
        EXPECT_EQ(Requests(ntfs::kFsctlReadUsnJournal), reads + i);
    }
    EXPECT_TRUE(log.Lines().empty());
}

// Changes made between two turns are classified in one go, in journal order.
TEST_F(SteppedReaderTest, WhatWasWrittenBetweenTwoTurnsIsHandedOnInJournalOrder) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    Begin();
    const auto a = volume.MakeFile(data, u"a.txt");
    volume.Rename(data, SimVolume::kRoot, u"renamed");
    volume.Write(a, 0, 10);
    const JournalReader::Turn turn = Turn();
    EXPECT_EQ(turn.outcome, Outcome::kRecords);
    EXPECT_FALSE(turn.pauseAfter);
    ReadAll();
    // The file was made before its folder was renamed, and written after.
    EXPECT_EQ(log.Lines(), (Lines{"Created C:\\data\\|a.txt", "Renamed data|renamed|C:\\",
                                  "Content C:\\renamed\\|a.txt"}));
    EXPECT_EQ(reader->Position().usn, volume.JournalData()->NextUsn);
}

// A journal replaced (deleted by fsutil and made again, or deleted and made by the
// recovery) is said once, and read from its first record: a change made since the old one
// went is reported whatever its stamp.
class ReplacedJournal : public SteppedReaderTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ReplacedJournal, IsSaidAndReadFromItsFirstRecord) {
    const bool deleteOnly = GetParam();
    Begin();
    volume.MakeFile(SimVolume::kRoot, u"first.txt");
    ReadAll();
    const std::int64_t oldNext = volume.JournalData()->NextUsn;
    if (deleteOnly) {
        volume.DeleteJournal();  // the recovery creates it again
    } else {
        volume.RecreateJournal();
        volume.MakeFile(SimVolume::kRoot, u"early.txt");
    }
    EXPECT_EQ(Turn().outcome, Outcome::kReadFailed);
    const JournalReader::Turn recovered = Turn();
    EXPECT_EQ(recovered.outcome, Outcome::kRecovered);
    EXPECT_FALSE(recovered.pauseAfter);
    ReadAll();
    Lines expected{"Created C:\\|first.txt", "Gap replaced " + std::to_string(oldNext) + ".." +
                                                 std::to_string(volume.JournalData()->FirstUsn)};
    if (!deleteOnly) {
        expected.push_back("Created C:\\|early.txt");
    }
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(reader->Position().journalId, volume.JournalData()->UsnJournalID);
}

INSTANTIATE_TEST_SUITE_P(DeletedOrRecreated, ReplacedJournal, ::testing::Values(true, false));

// Someone deletes the journal: NTFS answers at once and deletes in the background,
// failing every request on the journal until it is done. Each turn asks once, and asks
// for a pause after; the journal the recovery then makes is read as a new one.
TEST_F(SteppedReaderTest, AJournalBeingDeletedIsAskedForOnceATurnUntilItIsGone) {
    Begin();
    volume.MakeFile(SimVolume::kRoot, u"before.txt");
    ReadAll();
    const std::uint64_t oldId = volume.JournalData()->UsnJournalID;
    volume.DeleteJournalInBackground();
    EXPECT_EQ(Turn().outcome, Outcome::kReadFailed);
    for (int i = 1; i <= 5; ++i) {
        const std::uint64_t queries = Requests(ntfs::kFsctlQueryUsnJournal);
        const JournalReader::Turn turn = Turn();
        EXPECT_EQ(turn.outcome, Outcome::kBeingDeleted);
        EXPECT_TRUE(turn.pauseAfter);
        EXPECT_EQ(Requests(ntfs::kFsctlQueryUsnJournal), queries + 1);
    }
    volume.FinishJournalDeletion();
    EXPECT_EQ(Turn().outcome, Outcome::kRecovered);
    EXPECT_NE(volume.JournalData()->UsnJournalID, oldId);
    volume.MakeFile(SimVolume::kRoot, u"after.txt");
    ReadAll();
    const Lines lines = log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Created C:\\|before.txt");
    EXPECT_EQ(lines[1].rfind("Gap replaced ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "Created C:\\|after.txt");
}

TEST_F(SteppedReaderTest, AReaderThatFellBehindAWrappingJournalLosesNothingItStillHolds) {
    volume.MakeFile(SimVolume::kRoot, u"history.txt");  // the journal does not begin at 0
    Begin();
    std::vector<std::int64_t> firstUsnOf;
    for (int i = 0; i < 40; ++i) {
        firstUsnOf.push_back(volume.JournalData()->NextUsn);
        volume.MakeFile(SimVolume::kRoot, u"f" + FromUtf8(std::to_string(i)) + u".txt");
    }
    volume.DropRecordsBefore(firstUsnOf[15]);  // the journal wrapped over f0..f14
    EXPECT_EQ(Turn().outcome, Outcome::kReadFailed);
    EXPECT_EQ(Turn().outcome, Outcome::kRecovered);
    ReadAll();
    // Said once, with the Usn range lost.
    Lines expected{"Gap overwritten " + std::to_string(firstUsnOf[0]) + ".." +
                   std::to_string(firstUsnOf[15])};
    for (int i = 15; i < 40; ++i) {
        expected.push_back("Created C:\\|f" + std::to_string(i) + ".txt");
    }
    EXPECT_EQ(log.Lines(), expected);
}

// The read fails, the query tells that the volume is gone: the watch ends there, without
// asking again, pausing or making a journal.
TEST_F(SteppedReaderTest, ARemovedVolumeEndsTheWatchAndSaysWhy) {
    Begin();
    volume.SetRemoved(true);
    const JournalReader::Turn failed = Turn();
    EXPECT_EQ(failed.outcome, Outcome::kReadFailed);
    EXPECT_FALSE(failed.pauseAfter);
    const JournalReader::Turn ended = Turn();
    EXPECT_EQ(ended.outcome, Outcome::kEnded);
    EXPECT_EQ(ended.end, WatchEnd::kVolumeGone);
    EXPECT_EQ(Requests(ntfs::kFsctlReadUsnJournal), 1u);
    EXPECT_EQ(Requests(ntfs::kFsctlQueryUsnJournal), 2u);  // the one at the start and this
    EXPECT_EQ(Requests(ntfs::kFsctlCreateUsnJournal), 0u);
    EXPECT_TRUE(log.Lines().empty()) << "the reader says nothing of the end: its driver does";
}

// A read that fails again right after a recovery asks for a pause before the next
// recovery: a failure that persists costs a read and a query twenty times a second.
TEST_F(SteppedReaderTest, AFailureThatPersistsAsksForAPauseAfterEachRecovery) {
    Begin();
    volume.FailNextRequests(1000000, ntfs::kFsctlReadUsnJournal);
    const JournalReader::Turn first = Turn();
    EXPECT_EQ(first.outcome, Outcome::kReadFailed);
    EXPECT_FALSE(first.pauseAfter) << "the first failure is recovered from at once";
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Turn().outcome, Outcome::kRecovered);
        const JournalReader::Turn again = Turn();
        EXPECT_EQ(again.outcome, Outcome::kReadFailed);
        EXPECT_TRUE(again.pauseAfter) << "a failing read is tried again without a pause";
    }
    EXPECT_EQ(Requests(ntfs::kFsctlReadUsnJournal), 6u);
    EXPECT_TRUE(log.Lines().empty());
}

// A stop that comes while a batch is handed on leaves the position at the first record
// not handed on: a later watch from it neither repeats nor skips a change.
TEST_F(SteppedReaderTest, AStopWithinABatchLeavesThePositionAtTheFirstRecordNotHandedOn) {
    slots[ChangeKind::Created] = [logged = slots[ChangeKind::Created], this](const FileChange& c) {
        logged(c);
        stop.Set();  // as a --count reached would
    };
    Begin();
    std::vector<std::int64_t> usnOf;
    for (const char16_t* name : {u"a.txt", u"b.txt", u"c.txt"}) {
        usnOf.push_back(volume.JournalData()->NextUsn);
        volume.MakeFile(SimVolume::kRoot, name);
    }
    Turn();
    EXPECT_EQ(log.Lines(), Lines{"Created C:\\|a.txt"});
    EXPECT_EQ(reader->Position().usn, usnOf[1]);
}

// Resumed from a saved position, the reader reads from there, says what the journal no
// longer holds, and reads a replaced journal from its first record.
TEST_F(SteppedReaderTest, AResumedWatchReadsFromItsPositionOrSaysTheGap) {
    volume.MakeFile(SimVolume::kRoot, u"before.txt");
    const std::int64_t saved = volume.JournalData()->NextUsn;
    volume.MakeFile(SimVolume::kRoot, u"while-away.txt");
    const std::uint64_t id = volume.JournalData()->UsnJournalID;
    struct ResumeCase {
        const char* name;
        JournalPosition from;
        Lines expected;
    };
    const std::int64_t first = volume.JournalData()->FirstUsn;
    const ResumeCase cases[] = {
        {"same_journal", {id, saved}, {"Created C:\\|while-away.txt"}},
        {"beyond_the_journal", {id, saved + (1 << 20)}, {}},
        {"another_journal",
         {id + 1, saved},
         {"Gap replaced " + std::to_string(saved) + ".." + std::to_string(first),
          "Created C:\\|before.txt", "Created C:\\|while-away.txt"}},
    };
    for (const ResumeCase& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        Begin(c.from);
        ReadAll();
        EXPECT_EQ(log.Lines(), c.expected);
    }
    const std::int64_t kept = volume.JournalData()->NextUsn;
    volume.MakeFile(SimVolume::kRoot, u"later.txt");
    volume.DropRecordsBefore(kept);  // the journal wrapped while nobody watched
    log.Clear();
    Begin(JournalPosition{id, saved});
    ReadAll();
    EXPECT_EQ(log.Lines(), (Lines{"Gap overwrittenWhileAway " + std::to_string(saved) + ".." +
                                      std::to_string(kept),
                                  "Created C:\\|later.txt"}));
}

}  // namespace
