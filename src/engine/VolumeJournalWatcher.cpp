#include "engine/VolumeJournalWatcher.h"

#include <vector>

#include "engine/DirectoryEnumeration.h"
#include "runtime/text/AsciiCase.h"

VolumeJournalWatcher::VolumeJournalWatcher(VolumePlatform& platformToUse)
    : platform(platformToUse), volume(platformToUse), stopEvent(ownStopEvent) {}

VolumeJournalWatcher::VolumeJournalWatcher(VolumePlatform& platformToUse, StopSignal& stopSignal)
    : platform(platformToUse), volume(platformToUse), stopEvent(stopSignal) {}

VolumeJournalWatcher::~VolumeJournalWatcher() {
    Stop();
}

bool VolumeJournalWatcher::Open(char16_t driveLetter, const CMStringArray& watchedPaths,
                                WatcherSlots slotsToUse,
                                std::optional<JournalPosition> resumeFrom) {
    std::vector<WatchedDirectory> directories;
    for (int i = 0; i < watchedPaths.Count(); ++i) {
        directories.push_back(WatchedDirectory::Resolve(platform, watchedPaths.At(i).View()));
    }
    return Open(driveLetter, directories, std::move(slotsToUse), resumeFrom);
}

bool VolumeJournalWatcher::Open(char16_t driveLetter, std::span<const WatchedDirectory> directories,
                                WatcherSlots slotsToUse,
                                std::optional<JournalPosition> resumeFrom) {
    Stop();
    refusal = OpenRefusal::None;
    resumeFrom_ = resumeFrom;
    removalRequested_ = false;
    endedBy_ = 0;

    rootPath.Empty();
    rootPath.AppendChar(driveLetter);
    rootPath.Append(u":\\");

    std::u16string fileSystem;
    auto dirs = WatchedSetOf(directories, fileSystem);
    if (refusal != OpenRefusal::None) {
        return false;
    }
    if (directories.empty()) {
        // The whole volume: nobody has looked at the drive yet. The type first: it asks
        // the file system nothing, which a network drive whose server is gone would answer
        // only after the share's time-out.
        refusal = RefusalOfDriveType(platform.QueryDriveType(rootPath));
        if (refusal != OpenRefusal::None) {
            return false;
        }
        if (VolumeInformation information; platform.QueryVolumeInformation(rootPath, information)) {
            fileSystem = information.fileSystem.View();
        }
    }
    // An unreadable name is no refusal: the journal's control codes answer for NTFS.
    if (!fileSystem.empty() && fileSystem != u"NTFS") {
        refusal = OpenRefusal::NotNtfs;
        return false;
    }
    CWString device;
    device.Format(u"\\\\.\\%c:", driveLetter);
    if (!volume.Open(device)) {
        refusal = OpenRefusal::VolumeNotOpened;
        return false;
    }
    std::uint32_t error = 0;
    if (JournalReader::QueryOrCreateJournal(platform, volume.Get(), journalData, error) !=
        JournalReader::JournalAnswer::kReady) {
        volume.Close();
        refusal = OpenRefusal::JournalUnavailable;
        return false;
    }
    // The filter belongs to this watch: a watch without one reports the whole volume,
    // whatever an earlier one watched.
    watchedDirs = std::move(dirs);

    stopEvent.Reset();
    slots = std::move(slotsToUse);
    NoteProgress({journalData.UsnJournalID, journalData.NextUsn});
    const bool started = worker.Start([this] {
        std::optional<WatchEnd> end = RunWorker();
        if (!end && removalRequested_) {
            end = WatchEnd::kRemovalRequested;
        }
        if (end) {
            ReportEnd(*end);
        }
    });
    if (!started) {
        slots = WatcherSlots{};
        watchedDirs.reset();
        volume.Close();
        refusal = OpenRefusal::WorkerNotStarted;
        return false;
    }
    return true;
}

std::optional<std::set<std::uint64_t>> VolumeJournalWatcher::WatchedSetOf(
    std::span<const WatchedDirectory> directories, std::u16string& fileSystem) {
    if (directories.empty()) {
        return std::nullopt;
    }
    std::set<std::uint64_t> dirs;
    for (const WatchedDirectory& directory : directories) {
        if (directory.refusal != OpenRefusal::None) {
            refusal = directory.refusal;
            return std::nullopt;
        }
        // Every NTFS root has the same id, and ids of another volume match unrelated
        // directories here: every directory must be this volume's.
        if (directory.drive != FoldAsciiLetter(rootPath.First()) ||
            directory.volumeSerial != directories.front().volumeSerial) {
            refusal = OpenRefusal::DirectoryOnOtherVolume;
            return std::nullopt;
        }
        dirs.insert(directory.fileId);
    }
    fileSystem = directories.front().fileSystem;
    return dirs;
}

void VolumeJournalWatcher::Stop() {
    stopEvent.Set();
    worker.Join();
    volume.Close();
    parentIndex.reset();
    watchedDirs.reset();
    slots = WatcherSlots{};
}

void VolumeJournalWatcher::StopForRemoval() {
    if (worker.Running()) {
        removalRequested_ = true;  // before the stop, so that the worker's way out sees it
    }
    Stop();
}

std::optional<WatchEnd> VolumeJournalWatcher::EndedBy() const {
    const int end = endedBy_.load();
    return end == 0 ? std::nullopt : std::optional<WatchEnd>(static_cast<WatchEnd>(end));
}

JournalPosition VolumeJournalWatcher::Position() const {
    return {positionJournal_.load(), positionUsn_.load()};
}

void VolumeJournalWatcher::NoteProgress(const JournalPosition& position) {
    positionJournal_ = position.journalId;
    positionUsn_ = position.usn;
}

void VolumeJournalWatcher::ReportEnd(WatchEnd reason) {
    endedBy_ = static_cast<int>(reason);
    slots.Report({.kind = ChangeKind::Ended,
                  .dir = std::u16string(rootPath.View()),
                  .why = static_cast<int>(reason)});
}

std::optional<WatchEnd> VolumeJournalWatcher::RunWorker() {
    // Every watch enumerates: each path is built from the directories' names.
    parentIndex = std::make_unique<FileRecordIndex>();
    EnumerateDirectories(platform, volume.Get(), stopEvent, *parentIndex);
    if (stopEvent.IsSet()) {
        return std::nullopt;  // stopped while enumerating: the watch never began
    }
    return ReadJournal();
}

std::optional<WatchEnd> VolumeJournalWatcher::ReadJournal() {
    slots.Report({.kind = ChangeKind::Started});
    const WatchScope scope{platform,          volume.Get(),
                           rootPath.View(),   watchedDirs ? &*watchedDirs : nullptr,
                           parentIndex.get(), slots};
    JournalReader reader(scope, journalData, stopEvent);
    reader.Begin(resumeFrom_);
    NoteProgress(reader.Position());
    for (;;) {
        const JournalReader::Turn turn = reader.ReadOnce();
        NoteProgress(reader.Position());
        if (turn.end) {
            // The owner closing the volume is no end of its own: no notice for a stop.
            return stopEvent.IsSet() ? std::nullopt : turn.end;
        }
        if (stopEvent.WaitFor(turn.pauseAfter ? kIdleWaitMs : 0)) {
            return std::nullopt;
        }
    }
}
