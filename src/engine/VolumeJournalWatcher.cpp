#include "engine/VolumeJournalWatcher.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "engine/BatchWalk.h"
#include "engine/ChangeClassifier.h"
#include "engine/DirectoryEnumeration.h"
#include "engine/WatchedDirectory.h"
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
    Stop();
    refusal = OpenRefusal::None;
    resumeFrom_ = resumeFrom;
    removalRequested_ = false;
    endedBy_ = 0;

    rootPath.Empty();
    rootPath.AppendChar(driveLetter);
    rootPath.Append(u":\\");

    // The type first: it asks the file system nothing, which a network drive whose server
    // is gone would answer only after the share's time-out.
    refusal = RefusalOfDriveType(platform.QueryDriveType(rootPath));
    if (refusal != OpenRefusal::None) {
        return false;
    }
    VolumeInformation information;
    const bool informed = platform.QueryVolumeInformation(rootPath, information);
    if (informed && !(information.fileSystem == u"NTFS")) {
        refusal = OpenRefusal::NotNtfs;
        return false;
    }
    // Before the volume is opened: a refused watch leaves the volume without a new journal.
    auto dirs = IdentifyWatchedDirectories(
        watchedPaths,
        informed ? std::optional<std::uint32_t>(information.serialNumber) : std::nullopt);
    if (refusal != OpenRefusal::None) {
        return false;
    }
    CWString device;
    device.Format(u"\\\\.\\%c:", driveLetter);
    if (!volume.Open(device)) {
        refusal = OpenRefusal::VolumeNotOpened;
        return false;
    }
    idleWaitMs = kIdleWaitMs;

    recyclePath = CWString::Concat(rootPath, u"$RECYCLE.BIN\\");
    recyclePath.Append(platform.GetUserSidText());
    recyclePath.AppendChar(u'\\');

    if (!OpenJournal()) {
        volume.Close();
        refusal = OpenRefusal::JournalUnavailable;
        return false;
    }
    // The filter belongs to this watch: a watch without one reports the whole volume,
    // whatever an earlier one watched.
    watchedDirs = std::move(dirs);

    stopEvent.Reset();
    slots = std::move(slotsToUse);
    positionJournal_ = journalData.UsnJournalID;
    positionUsn_ = passStartUsn;
    const bool started = worker.Start([this] {
        // Every watch enumerates: each path is built from the directories' names.
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

std::optional<std::set<std::uint64_t>> VolumeJournalWatcher::IdentifyWatchedDirectories(
    const CMStringArray& watchedPaths, std::optional<std::uint32_t> volumeSerial) {
    if (watchedPaths.Count() == 0) {
        return std::nullopt;
    }
    if (!volumeSerial) {
        // The name could not be read: the root directory tells the serial number as well.
        FileIdentity root;
        if (platform.IdentifyFile(CWString(WatchedDirectory::LongPathForm(rootPath.View())),
                                  root)) {
            volumeSerial = root.volumeSerial;
        }
    }
    std::set<std::uint64_t> dirs;
    for (int i = 0; i < watchedPaths.Count(); ++i) {
        const std::u16string_view path = watchedPaths.At(i).View();
        FileIdentity identity;
        if (!volumeSerial || !WatchedDirectory::DriveLetterOf(path) ||
            !platform.IdentifyFile(CWString(WatchedDirectory::LongPathForm(path)), identity) ||
            (identity.attributes & ntfs::kAttributeDirectory) == 0) {
            refusal = OpenRefusal::DirectoryNotIdentified;
            return std::nullopt;
        }
        // Every NTFS root has the same id, and ids of another volume match unrelated
        // directories here: the directory must be this volume's.
        if (identity.volumeSerial != *volumeSerial ||
            WatchedDirectory::DriveLetterOf(identity.finalPath.View()) !=
                FoldAsciiLetter(rootPath.First())) {
            refusal = OpenRefusal::DirectoryOnOtherVolume;
            return std::nullopt;
        }
        dirs.insert(identity.fileId);
    }
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

void VolumeJournalWatcher::NoteProgress(std::int64_t usn) {
    positionJournal_ = journalData.UsnJournalID;
    positionUsn_ = usn;
}

void VolumeJournalWatcher::ReportGap(JournalGap reason, std::int64_t firstLostUsn,
                                     std::int64_t resumeUsn) {
    if (slots.OnGap) {
        CWString root = rootPath;
        slots.OnGap(root, reason, firstLostUsn, resumeUsn);
    }
}

void VolumeJournalWatcher::NoteDropsBeforeTheFirstRecord(const std::uint8_t* batch,
                                                         std::uint32_t bytes) {
    // Asked from Usn 0, the start of a journal that had written nothing when the watch
    // began, the volume answers from the oldest record it keeps: one past 0 means that the
    // records before it were dropped before they could be read (no error says so).
    ntfs::UsnRecordV2 first;
    if (bytes > 8 &&
        ntfs::DecodeWalkable(batch + 8, bytes - 8, first) == ntfs::RecordCheck::kRecord &&
        first.Usn() > 0) {
        ReportGap(JournalGap::kOverwritten, 0, first.Usn());
    }
}

void VolumeJournalWatcher::ReportEnd(WatchEnd reason) {
    endedBy_ = static_cast<int>(reason);
    if (slots.OnEnded) {
        CWString root = rootPath;
        slots.OnEnded(root, reason);
    }
}

std::uint64_t VolumeJournalWatcher::CurrentWatchStart() const {
    return static_cast<std::uint64_t>(
        ntfs::kUnixEpochAsFileTime + platform.CurrentUnixSeconds() * ntfs::kFileTimeTicksPerSecond);
}

bool VolumeJournalWatcher::OpenJournal() {
    std::uint32_t error = 0;
    return QueryOrCreateJournal(error) == JournalAnswer::kReady;
}

VolumeJournalWatcher::JournalAnswer VolumeJournalWatcher::QueryOrCreateJournal(
    std::uint32_t& error) {
    if (!volume.IsOpen()) {
        return JournalAnswer::kFailed;
    }
    // Query first: a create on a volume that has a journal sets it to the sizes given, and
    // would shrink one that an administrator or a backup product made large.
    ntfs::UsnJournalDataV0 queried{};
    std::uint32_t returned = 0;
    const auto query = [&] {
        return platform.DeviceIoControl(volume.Get(), ntfs::kFsctlQueryUsnJournal, nullptr, 0,
                                        &queried, sizeof queried, returned);
    };
    bool ready = query();
    error = ready ? 0 : platform.LastError();
    if (!ready && error == ntfs::kErrorJournalNotActive) {
        // Sizes of its own: for 0 and 0 the documentation defines nothing.
        const ntfs::CreateUsnJournalData create{kJournalMaximumSize, kJournalAllocationDelta};
        ready = platform.DeviceIoControl(volume.Get(), ntfs::kFsctlCreateUsnJournal, &create,
                                         sizeof create, nullptr, 0, returned) &&
                query();
        error = ready ? 0 : platform.LastError();
    }
    if (!ready) {
        return error == ntfs::kErrorJournalDeleteInProgress ? JournalAnswer::kBeingDeleted
                                                            : JournalAnswer::kFailed;
    }
    journalData = queried;
    passStartUsn = queried.NextUsn;
    watchStart = CurrentWatchStart();
    return JournalAnswer::kReady;
}

std::optional<WatchEnd> VolumeJournalWatcher::RunWorker() {
    if (!volume.IsOpen()) {
        return std::nullopt;
    }
    parentIndex = std::make_unique<FileRecordIndex>();
    BuildParentIndex();
    if (stopEvent.IsSet()) {
        return std::nullopt;  // stopped while enumerating: the watch never began
    }
    return RunJournalLoop();
}

void VolumeJournalWatcher::BuildParentIndex() {
    EnumerateDirectories(platform, volume.Get(), stopEvent, *parentIndex);
}

bool VolumeJournalWatcher::ReadJournal(ntfs::ReadUsnJournalDataV0& request, std::uint8_t* buffer,
                                       std::uint32_t& returned) {
    returned = 0;
    request.UsnJournalID = journalData.UsnJournalID;
    if (!platform.DeviceIoControl(volume.Get(), ntfs::kFsctlReadUsnJournal, &request,
                                  sizeof request, buffer, kReadBufferSize, returned)) {
        return false;
    }
    returned = std::min(returned, kReadBufferSize);
    return true;
}

std::int64_t VolumeJournalWatcher::FirstReadUsn() {
    if (!resumeFrom_) {
        return passStartUsn;  // the journal's next record when the watch began
    }
    const JournalPosition from = *resumeFrom_;
    if (from.journalId != journalData.UsnJournalID) {
        ReportGap(JournalGap::kReplaced, from.usn, journalData.FirstUsn);
        return journalData.FirstUsn;
    }
    if (from.usn < journalData.FirstUsn) {
        ReportGap(JournalGap::kOverwrittenWhileAway, from.usn, journalData.FirstUsn);
        return journalData.FirstUsn;
    }
    return std::min(from.usn, journalData.NextUsn);  // no further than the journal has come
}

std::optional<WatchEnd> VolumeJournalWatcher::RunJournalLoop() {
    if (!volume.IsOpen()) {
        return std::nullopt;
    }
    if (slots.OnStarted) {
        slots.OnStarted();
    }
    const WatchScope scope{platform,     volume.Get(),      rootPath, recyclePath,
                           WatchedSet(), parentIndex.get(), slots};
    ChangeClassifier classifier(scope);
    std::vector<std::uint8_t> buffer(kReadBufferSize, 0);
    ntfs::ReadUsnJournalDataV0 request{};
    request.ReasonMask = 0xFFFFFFFF;
    request.StartUsn = FirstReadUsn();
    passStartUsn = request.StartUsn;
    NoteProgress(request.StartUsn);
    classifier.BeginPass();
    bool recovered = false;  // the last read was the first one after a recovery

    for (;;) {
        std::uint32_t returned = 0;
        if (ReadJournal(request, buffer.data(), returned)) {
            recovered = false;
            const std::uint32_t remaining = returned >= 8 ? returned - 8 : 0;
            if (request.StartUsn == 0) {
                NoteDropsBeforeTheFirstRecord(buffer.data(), returned);
            }
            if (stopEvent.WaitFor(remaining == 0 ? idleWaitMs : 0)) {
                return std::nullopt;
            }
            // A stop during the walk ends the reporting at once: a handler may take long
            // (it may be waiting for the window's thread), and nobody wants the rest. The
            // position is then the first record not handed on, so that a watch resumed
            // from it neither repeats nor skips a change.
            std::optional<std::int64_t> stoppedAt;
            journal::WalkBatch(buffer.data(), returned, INT64_MAX, passStartUsn,
                               [&](const ntfs::UsnRecordV2& record) {
                                   if (stoppedAt || stopEvent.IsSet()) {
                                       stoppedAt = stoppedAt.value_or(record.Usn());
                                       return;
                                   }
                                   classifier.ClassifyRecord(record);
                               });
            if (returned >= 8) {
                request.StartUsn = static_cast<std::int64_t>(ntfs::ReadU64(buffer.data()));
                NoteProgress(stoppedAt.value_or(request.StartUsn));
            }
            continue;
        }
        const std::uint32_t readError = platform.LastError();

        // A read failed. When the first read after a recovery fails too, pause before
        // trying again so that a failure that persists does not spin a core.
        if (recovered && stopEvent.WaitFor(idleWaitMs)) {
            return std::nullopt;
        }
        if (stopEvent.IsSet()) {
            return std::nullopt;
        }
        const std::uint64_t previousId = journalData.UsnJournalID;
        for (;;) {
            std::uint32_t queryError = 0;
            const JournalAnswer answer = QueryOrCreateJournal(queryError);
            if (answer == JournalAnswer::kReady) {
                break;
            }
            if (stopEvent.IsSet()) {
                return std::nullopt;  // the owner closed the volume: no notice for a stop
            }
            if (answer == JournalAnswer::kFailed) {
                return IsVolumeGoneError(readError) || IsVolumeGoneError(queryError)
                           ? WatchEnd::kVolumeGone
                           : WatchEnd::kJournalUnavailable;
            }
            // Someone deleted the journal and NTFS is still at it, which may take long on
            // a large volume: wait and ask again, for as long as it lasts.
            if (stopEvent.WaitFor(idleWaitMs)) {
                return std::nullopt;
            }
        }
        recovered = true;
        if (journalData.UsnJournalID == previousId) {
            // The same journal: when it dropped records the reader had not reached, that
            // is said once, and reading goes on from the oldest it still keeps.
            if (request.StartUsn < journalData.FirstUsn) {
                ReportGap(JournalGap::kOverwritten, request.StartUsn, journalData.FirstUsn);
                request.StartUsn = journalData.FirstUsn;
            }
        } else {
            // A new journal: everything in it came after the old one, so all of it is read,
            // from its first record; the old names held belonged to the old one.
            ReportGap(JournalGap::kReplaced, request.StartUsn, journalData.FirstUsn);
            request.StartUsn = journalData.FirstUsn;
            classifier.BeginPass();
        }
        passStartUsn = request.StartUsn;
        NoteProgress(request.StartUsn);
    }
}
