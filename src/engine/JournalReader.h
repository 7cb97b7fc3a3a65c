#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/ChangeClassifier.h"
#include "engine/StopSignal.h"
#include "engine/WatchNotices.h"
#include "ntfs/JournalRecords.h"

// One watch's reading of a volume's change journal, one turn at a time: a turn reads the
// next batch and hands its records to classification, or, after a failed read, finds the
// journal again and says what was lost. A turn never waits: the worker runs turns in a
// loop and pauses where a turn says so; a test runs them one by one on its own thread.
//
// What is new is decided by the journal's sequence: reading begins at the journal's next
// record when the watch began, or where a saved position says. A journal that dropped
// records the reader had not reached is said once (a gap) and read on from its oldest
// record; a journal replaced by another is said and read from its first.
class JournalReader {
public:
    static constexpr std::uint32_t kReadBufferSize = 4096;
    // The sizes of a journal the watch has to create: those Windows gives a system volume.
    static constexpr std::uint64_t kJournalMaximumSize = 32ULL << 20;
    static constexpr std::uint64_t kJournalAllocationDelta = 8ULL << 20;

    enum class JournalAnswer { kReady, kBeingDeleted, kFailed };
    // Makes sure the volume has an active journal and queries it into `journal`. Only a
    // volume without a journal is given one: an existing journal keeps its sizes. `error`
    // is the platform's error when the answer is not kReady.
    static JournalAnswer QueryOrCreateJournal(VolumePlatform& platform, PlatformHandle volume,
                                              ntfs::UsnJournalDataV0& journal,
                                              std::uint32_t& error);

    enum class Outcome {
        kRecords,        // a batch was read and its records handed on (unless a stop came)
        kIdle,           // the journal holds nothing new: pause before the next turn
        kReadFailed,     // the read failed: the next turn finds the journal again
        kRecovered,      // the journal is there again; any gap said
        kBeingDeleted,   // someone deletes the journal: pause, then ask again
        kEnded,          // the watch cannot go on: `end` says why
    };
    struct Turn {
        Outcome outcome = Outcome::kRecords;
        bool pauseAfter = false;  // the driver waits its idle time before the next turn
        std::optional<WatchEnd> end;
    };

    // `journal` as queried when the watch began; `stop` is looked at between the records of
    // a batch, so that a stop ends the handing on at once.
    JournalReader(const WatchScope& scope, const ntfs::UsnJournalDataV0& journal,
                  const StopSignal& stop);

    // Where reading begins: the journal's next record when the watch began, or the saved
    // `resumeFrom` (a journal replaced or wrapped past it since is said as a gap, and read
    // from its oldest record).
    void Begin(std::optional<JournalPosition> resumeFrom);
    Turn ReadOnce();

    // The journal and the Usn up to which every record has been handed on: where a later
    // watch may resume.
    JournalPosition Position() const { return {journal_.UsnJournalID, handedOnUpTo_}; }
    const ntfs::UsnJournalDataV0& Journal() const { return journal_; }

private:
    Turn Read();
    Turn Recover();
    void ReportGap(JournalGap reason, std::int64_t firstLostUsn, std::int64_t resumeUsn);
    void NoteDropsBeforeTheFirstRecord(std::uint32_t returned);

    WatchScope scope_;
    ntfs::UsnJournalDataV0 journal_;
    const StopSignal& stop_;
    ChangeClassifier classifier_;
    std::vector<std::uint8_t> buffer_;
    ntfs::ReadUsnJournalDataV0 request_{};
    std::int64_t passStart_ = 0;  // where this pass began: records before it are old
    std::int64_t handedOnUpTo_ = 0;
    std::uint32_t readError_ = 0;
    bool recovering_ = false;      // the last read failed: find the journal first
    bool justRecovered_ = false;  // the last turn found the journal again
};
