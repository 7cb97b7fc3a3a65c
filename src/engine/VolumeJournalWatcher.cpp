#include "engine/VolumeJournalWatcher.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/BatchWalk.h"
#include "engine/ChangeClassifier.h"
#include "engine/DirectoryEnumeration.h"
#include "runtime/text/AsciiCase.h"
#include "runtime/text/CWConstString.h"

VolumeJournalWatcher::VolumeJournalWatcher(VolumePlatform& platformToUse)
    : platform(platformToUse), volume(platformToUse), stopEvent(ownStopEvent) {}

VolumeJournalWatcher::VolumeJournalWatcher(VolumePlatform& platformToUse, StopSignal& stopSignal)
    : platform(platformToUse), volume(platformToUse), stopEvent(stopSignal) {}

VolumeJournalWatcher::~VolumeJournalWatcher() {
    Stop();
}

bool VolumeJournalWatcher::Open(char16_t driveLetter, const CMStringArray& watchedPaths,
                                WatcherSlots slotsToUse) {
    Stop();
    refusal = OpenRefusal::None;

    rootPath.Empty();
    rootPath.AppendChar(driveLetter);
    rootPath.Append(u":\\");

    CWString fileSystem;
    if (platform.GetFileSystemName(rootPath, fileSystem) && !(fileSystem == u"NTFS")) {
        refusal = OpenRefusal::NotNtfs;
        return false;
    }
    refusal = RefusalOfDriveType(platform.QueryDriveType(rootPath));
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
    watchedDirs.reset();
    std::set<std::uint64_t> dirs;
    for (int i = 0; i < watchedPaths.Count(); ++i) {
        const CWString& path = watchedPaths.At(i);
        if (!StartsWithIgnoringAsciiCase(path.View(), rootPath.View())) {
            continue;
        }
        if (const std::uint64_t id = platform.GetFileId(path); id != 0) {
            dirs.insert(id);
        }
    }
    if (!dirs.empty()) {
        watchedDirs = std::move(dirs);
    }

    stopEvent.Reset();
    slots = std::move(slotsToUse);
    const bool started = worker.Start([this] { RunWorker(); });
    if (!started) {
        slots = WatcherSlots{};
        watchedDirs.reset();
        volume.Close();
        refusal = OpenRefusal::WorkerNotStarted;
        return false;
    }
    return true;
}

void VolumeJournalWatcher::Stop() {
    stopEvent.Set();
    worker.Join();
    volume.Close();
    parentIndex.reset();
    watchedDirs.reset();
    slots = WatcherSlots{};
}

std::uint64_t VolumeJournalWatcher::CurrentWatchStart() const {
    return static_cast<std::uint64_t>(
        ntfs::kUnixEpochAsFileTime + platform.CurrentUnixSeconds() * ntfs::kFileTimeTicksPerSecond);
}

bool VolumeJournalWatcher::OpenJournal() {
    return QueryOrCreateJournal() == JournalAnswer::kReady;
}

VolumeJournalWatcher::JournalAnswer VolumeJournalWatcher::QueryOrCreateJournal() {
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
    std::uint32_t error = ready ? 0 : platform.LastError();
    if (!ready && error == ntfs::kErrorJournalNotActive) {
        const ntfs::CreateUsnJournalData create{0, 0};
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

void VolumeJournalWatcher::RunWorker() {
    if (!volume.IsOpen()) {
        return;
    }
    parentIndex = std::make_unique<FileRecordIndex>();
    BuildParentIndex();
    if (stopEvent.IsSet()) {
        return;  // stopped while enumerating: the watch never began
    }
    RunJournalLoop();
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

void VolumeJournalWatcher::RunJournalLoop() {
    if (!volume.IsOpen()) {
        return;
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

    auto beginPass = [&] {
        std::fill(buffer.begin(), buffer.end(), 0);
        request.StartUsn = 0;
        classifier.BeginPass();
    };
    beginPass();
    bool recovered = false;  // the last read was the first one after a recovery

    for (;;) {
        std::uint32_t returned = 0;
        if (ReadJournal(request, buffer.data(), returned)) {
            recovered = false;
            const std::uint32_t remaining = returned >= 8 ? returned - 8 : 0;
            if (stopEvent.WaitFor(remaining == 0 ? idleWaitMs : 0)) {
                return;
            }
            // A stop during the walk ends the reporting at once: a handler may take long
            // (it may be waiting for the window's thread), and nobody wants the rest.
            journal::WalkBatch(buffer.data(), returned, static_cast<std::int64_t>(watchStart),
                               passStartUsn, [&](const ntfs::UsnRecordV2& record) {
                                   if (!stopEvent.IsSet()) {
                                       classifier.ClassifyRecord(record);
                                   }
                               });
            if (returned >= 8) {
                request.StartUsn = static_cast<std::int64_t>(ntfs::ReadU64(buffer.data()));
            }
            continue;
        }

        // A read failed. When the first read after a recovery fails too, pause before
        // trying again so that a failure that persists does not spin a core.
        if (recovered && stopEvent.WaitFor(idleWaitMs)) {
            return;
        }
        if (stopEvent.IsSet()) {
            return;
        }
        const std::uint64_t previousId = journalData.UsnJournalID;
        const std::uint64_t previousStart = watchStart;
        const std::int64_t previousStartUsn = passStartUsn;
        for (;;) {
            const JournalAnswer answer = QueryOrCreateJournal();
            if (answer == JournalAnswer::kReady) {
                break;
            }
            if (answer == JournalAnswer::kFailed) {
                return;  // the volume or its journal is gone for good
            }
            // Someone deleted the journal and NTFS is still at it, which may take long on
            // a large volume: wait and ask again, for as long as it lasts.
            if (stopEvent.WaitFor(idleWaitMs)) {
                return;
            }
        }
        recovered = true;
        if (journalData.UsnJournalID == previousId) {
            // The same journal dropped records the reader had not reached: go on from the
            // oldest it still keeps, with the same start and held renames.
            request.StartUsn = std::max(request.StartUsn, journalData.FirstUsn);
            watchStart = previousStart;
            passStartUsn = previousStartUsn;
        } else {
            beginPass();  // a new journal: read it from its first record, from now on
        }
    }
}
