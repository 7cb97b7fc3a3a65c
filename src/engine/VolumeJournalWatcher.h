#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>

#include "engine/FileRecordIndex.h"
#include "engine/OpenRefusal.h"
#include "engine/ScopedVolume.h"
#include "engine/StopSignal.h"
#include "engine/VolumePlatform.h"
#include "engine/WatcherSlots.h"
#include "engine/WorkerThread.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/CMStringArray.h"
#include "runtime/text/CWString.h"

class ChangeClassifier;

// Watches one NTFS volume through its change journal. Open checks and opens the volume,
// makes sure the journal is active, notes the journal's next Usn and starts a worker that
// enumerates the volume's directories with their names (every path is built from them,
// with or without a directory filter) and then reads the journal from that Usn on, handing
// every record to classification, which reports through the slots. What is new is decided
// by the journal's sequence, never by a clock. When the journal drops records the reader
// had not reached, the worker says so (OnGap); when the watch ends by itself (the volume
// gone, the journal lost, a removal asked for) it says why (OnEnded) and returns. Open and
// Stop run on the owner's thread; everything the worker uses stays untouched by the owner
// until Stop has waited for the worker.
class VolumeJournalWatcher {
public:
    static constexpr std::uint32_t kReadBufferSize = 4096;
    static constexpr std::uint32_t kIdleWaitMs = 50;
    // The sizes of a journal the watch has to create: those Windows gives a system volume.
    static constexpr std::uint64_t kJournalMaximumSize = 32ULL << 20;
    static constexpr std::uint64_t kJournalAllocationDelta = 8ULL << 20;

    explicit VolumeJournalWatcher(VolumePlatform& platform);
    // With a stop signal of the caller's, which outlives the watcher: a test's, that ends the
    // worker's pauses between reads when the test says so.
    VolumeJournalWatcher(VolumePlatform& platform, StopSignal& stopSignal);
    VolumeJournalWatcher(const VolumeJournalWatcher&) = delete;
    VolumeJournalWatcher& operator=(const VolumeJournalWatcher&) = delete;
    ~VolumeJournalWatcher();

    // Starts watching the volume of driveLetter, reporting only changes under
    // watchedPaths, full paths of directories of this volume (none: every change of the
    // volume). A watched path that is not for certain a directory of this volume refuses
    // the watch. The slots are in place before the worker starts. False when the watch is
    // refused; nothing then runs, the volume is closed and Refusal says why.
    // With `resumeFrom`, reading begins there instead of at the journal's next record:
    // what the journal holds since then is reported first (a journal that has since been
    // replaced or has wrapped past it is reported as a gap, then read from its oldest).
    bool Open(char16_t driveLetter, const CMStringArray& watchedPaths, WatcherSlots slotsToUse = {},
              std::optional<JournalPosition> resumeFrom = {});
    // Ends the worker and waits for it, closes the volume, frees the index and the
    // watched set and empties the slots. Safe to call at any time, also twice.
    void Stop();
    // Stop for the removal of the volume's device, which the system asked for: the worker
    // reports the end (OnEnded, removal requested) and the volume is closed, so that the
    // removal can go on.
    void StopForRemoval();
    // Makes sure the volume has an active journal, queries it and takes the watch start.
    // Only a volume without a journal is given one: an existing journal keeps its sizes.
    bool OpenJournal();
    // Why the last Open refused the volume; None after one that started.
    OpenRefusal Refusal() const { return refusal; }

    // For tests and tools; meaningful while no worker runs.
    bool FilterActive() const { return watchedDirs.has_value(); }
    std::uint64_t WatchStart() const { return watchStart; }
    std::int64_t PassStartUsn() const { return passStartUsn; }
    const ntfs::UsnJournalDataV0& JournalData() const { return journalData; }
    const CWString& RootPath() const { return rootPath; }
    const CWString& RecyclePath() const { return recyclePath; }
    bool VolumeOpen() const { return volume.IsOpen(); }
    bool WorkerRunning() const { return worker.Running(); }
    // The volume's handle while open, for a notice of its device's removal.
    PlatformHandle VolumeHandle() const { return volume.Get(); }
    // Why the worker ended by itself, if it did (any thread).
    std::optional<WatchEnd> EndedBy() const;
    // The journal and the Usn up to which every record has been handed on (any thread):
    // where a later watch may resume.
    JournalPosition Position() const;

private:
    enum class JournalAnswer { kReady, kBeingDeleted, kFailed };

    // The file ids of the watched directories, none without watched paths; sets `refusal`
    // for a path it cannot tell to be a directory of this volume.
    std::optional<std::set<std::uint64_t>> IdentifyWatchedDirectories(
        const CMStringArray& watchedPaths, std::optional<std::uint32_t> volumeSerial);
    JournalAnswer QueryOrCreateJournal(std::uint32_t& error);
    std::optional<WatchEnd> RunWorker();
    std::optional<WatchEnd> RunJournalLoop();
    // Where the first read begins: the journal's next record, or the resume point.
    std::int64_t FirstReadUsn();
    void ReportGap(JournalGap reason, std::int64_t firstLostUsn, std::int64_t resumeUsn);
    void ReportEnd(WatchEnd reason);
    void NoteDropsBeforeTheFirstRecord(const std::uint8_t* batch, std::uint32_t bytes);
    void NoteProgress(std::int64_t usn);
    void BuildParentIndex();
    bool ReadJournal(ntfs::ReadUsnJournalDataV0& request, std::uint8_t* buffer,
                     std::uint32_t& returned);
    std::uint64_t CurrentWatchStart() const;
    const std::set<std::uint64_t>* WatchedSet() const {
        return watchedDirs ? &*watchedDirs : nullptr;
    }

    VolumePlatform& platform;
    std::uint32_t idleWaitMs = 0;
    ScopedVolume volume;
    StopSignal ownStopEvent;
    StopSignal& stopEvent;
    std::uint64_t watchStart = 0;
    // Where the current journal pass began reading: every record from there on is new,
    // whatever its time stamp says (a clock may run behind or be set back).
    std::int64_t passStartUsn = 0;
    std::optional<JournalPosition> resumeFrom_;
    std::atomic<bool> removalRequested_{false};
    std::atomic<int> endedBy_{0};  // a WatchEnd, 0 while none
    std::atomic<std::uint64_t> positionJournal_{0};
    std::atomic<std::int64_t> positionUsn_{0};
    std::unique_ptr<FileRecordIndex> parentIndex;
    // The directories whose trees are watched; absent without a directory filter.
    std::optional<std::set<std::uint64_t>> watchedDirs;
    ntfs::UsnJournalDataV0 journalData{};
    CWString rootPath;
    CWString recyclePath;
    WatcherSlots slots;
    WorkerThread worker;
    OpenRefusal refusal = OpenRefusal::None;
};
