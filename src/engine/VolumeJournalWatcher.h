#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>

#include "engine/FileRecordIndex.h"
#include "engine/JournalReader.h"
#include "engine/OpenRefusal.h"
#include "engine/ScopedVolume.h"
#include "engine/StopSignal.h"
#include "engine/VolumePlatform.h"
#include "engine/WatchedDirectory.h"
#include "engine/WatcherSlots.h"
#include "engine/WorkerThread.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/CMStringArray.h"
#include "runtime/text/CWString.h"

// Watches one NTFS volume through its change journal. Open takes the directories as
// WatchedDirectory found them, opens the volume, makes sure the journal is active, notes
// the journal's next Usn and starts a worker that enumerates the volume's directories with
// their names (every path is built from them) and then reads the journal from that Usn on
// (JournalReader), a turn at a time, reporting through the slots. What is new is decided
// by the journal's sequence, never by a clock. When the watch ends by itself (the volume
// gone, the journal lost, a removal asked for) the worker says why (Ended) and returns.
// Open and Stop run on the owner's thread; everything the worker uses stays untouched by
// the owner until Stop has waited for the worker.
class VolumeJournalWatcher {
public:
    static constexpr std::uint32_t kIdleWaitMs = 50;

    explicit VolumeJournalWatcher(VolumePlatform& platform);
    // With a stop signal of the caller's, which outlives the watcher: a test's, that ends the
    // worker's pauses between reads when the test says so.
    VolumeJournalWatcher(VolumePlatform& platform, StopSignal& stopSignal);
    VolumeJournalWatcher(const VolumeJournalWatcher&) = delete;
    VolumeJournalWatcher& operator=(const VolumeJournalWatcher&) = delete;
    ~VolumeJournalWatcher();

    // Starts watching the volume of driveLetter, reporting only changes under the
    // directories (none: every change of the volume), each resolved on this drive. A
    // directory that was refused, or that lies on another volume, refuses the watch. The
    // slots are in place before the worker starts. False when the watch is refused; nothing
    // then runs, the volume is closed and Refusal says why.
    // With `resumeFrom`, reading begins there instead of at the journal's next record:
    // what the journal holds since then is reported first (a journal that has since been
    // replaced or has wrapped past it is reported as a gap, then read from its oldest).
    bool Open(char16_t driveLetter, std::span<const WatchedDirectory> directories,
              WatcherSlots slotsToUse = {}, std::optional<JournalPosition> resumeFrom = {});
    // The same for directories named by their paths, each read by WatchedDirectory.
    bool Open(char16_t driveLetter, const CMStringArray& watchedPaths, WatcherSlots slotsToUse = {},
              std::optional<JournalPosition> resumeFrom = {});
    // Ends the worker and waits for it, closes the volume, frees the index and the
    // watched set and empties the slots. Safe to call at any time, also twice.
    void Stop();
    // Stop for the removal of the volume's device, which the system asked for: the worker
    // reports the end (Ended, removal requested) and the volume is closed, so that the
    // removal can go on.
    void StopForRemoval();
    // Why the last Open refused the volume; None after one that started.
    OpenRefusal Refusal() const { return refusal; }

    // For tests and tools; meaningful while no worker runs.
    bool FilterActive() const { return watchedDirs.has_value(); }
    const ntfs::UsnJournalDataV0& JournalData() const { return journalData; }
    const CWString& RootPath() const { return rootPath; }
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
    // The file ids of the watched directories, none without directories; sets `refusal`
    // for one that is not this volume's. `fileSystem` is the drive's, as they found it.
    std::optional<std::set<std::uint64_t>> WatchedSetOf(std::span<const WatchedDirectory> dirs,
                                                        std::u16string& fileSystem);
    std::optional<WatchEnd> RunWorker();
    std::optional<WatchEnd> ReadJournal();
    void ReportEnd(WatchEnd reason);
    void NoteProgress(const JournalPosition& position);

    VolumePlatform& platform;
    ScopedVolume volume;
    StopSignal ownStopEvent;
    StopSignal& stopEvent;
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
    WatcherSlots slots;
    WorkerThread worker;
    OpenRefusal refusal = OpenRefusal::None;
};
