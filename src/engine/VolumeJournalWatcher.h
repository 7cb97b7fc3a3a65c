#pragma once

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
// makes sure the journal is active, takes the watch start and starts a worker that
// enumerates the volume's directories with their names (every path is built from them,
// with or without a directory filter) and then reads the journal, handing every record
// stamped since the start to classification, which reports through the slots. Open and Stop run on
// the owner's thread; everything the worker uses stays untouched by the owner until Stop has waited
// for the worker.
class VolumeJournalWatcher {
public:
    static constexpr std::uint32_t kReadBufferSize = 4096;
    static constexpr std::uint32_t kIdleWaitMs = 50;

    explicit VolumeJournalWatcher(VolumePlatform& platform);
    // With a stop signal of the caller's, which outlives the watcher: a test's, that ends the
    // worker's pauses between reads when the test says so.
    VolumeJournalWatcher(VolumePlatform& platform, StopSignal& stopSignal);
    VolumeJournalWatcher(const VolumeJournalWatcher&) = delete;
    VolumeJournalWatcher& operator=(const VolumeJournalWatcher&) = delete;
    ~VolumeJournalWatcher();

    // Starts watching the volume of driveLetter, reporting only changes under
    // watchedPaths (none, or none that resolves: every change of the volume). The slots
    // are in place before the worker starts. False when the volume is refused; nothing
    // then runs, the volume is closed and Refusal says why.
    bool Open(char16_t driveLetter, const CMStringArray& watchedPaths,
              WatcherSlots slotsToUse = {});
    // Ends the worker and waits for it, closes the volume, frees the index and the
    // watched set and empties the slots. Safe to call at any time, also twice.
    void Stop();
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

private:
    enum class JournalAnswer { kReady, kBeingDeleted, kFailed };

    JournalAnswer QueryOrCreateJournal();
    void RunWorker();
    void RunJournalLoop();
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
    // NextUsn when the current journal pass began: every record from there on is new,
    // whatever its time stamp says (the clock may have been set back since watchStart).
    std::int64_t passStartUsn = 0;
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
