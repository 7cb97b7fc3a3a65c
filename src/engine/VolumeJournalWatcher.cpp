#include "engine/VolumeJournalWatcher.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/BatchWalk.h"
#include "engine/ChangeClassifier.h"
#include "engine/DirectoryEnumeration.h"
#include "runtime/text/CWConstString.h"

namespace {

char16_t FoldCase(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
}

bool StartsWithIgnoringCase(const CWString& text, const CWString& prefix) {
    const int n = prefix.Length();
    if (text.Length() < n) {
        return false;
    }
    for (int i = 0; i < n; ++i) {
        if (FoldCase(text.Chars()[i]) != FoldCase(prefix.Chars()[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

VolumeJournalWatcher::VolumeJournalWatcher(VolumePlatform& platformToUse)
    : platform(platformToUse) {}

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
    volumeHandle = platform.OpenVolume(device);
    if (volumeHandle == kInvalidPlatformHandle) {
        refusal = OpenRefusal::VolumeNotOpened;
        return false;
    }
    idleWaitMs = kIdleWaitMs;

    recyclePath = CWString::Concat(rootPath, u"$RECYCLE.BIN\\");
    recyclePath.Append(platform.GetUserSidText());
    recyclePath.AppendChar(u'\\');

    if (!OpenJournal()) {
        CloseVolume();
        refusal = OpenRefusal::JournalUnavailable;
        return false;
    }

    // The filter belongs to this watch: a watch without one must not pay for the
    // enumeration of the whole volume because an earlier one had a filter.
    filterActive = false;
    if (!watchedPaths.IsEmpty()) {
        auto dirs = std::make_unique<std::set<std::uint64_t>>();
        for (int i = 0; i < watchedPaths.Count(); ++i) {
            const CWString& path = watchedPaths.At(i);
            if (!StartsWithIgnoringCase(path, rootPath)) {
                continue;
            }
            if (const std::uint64_t id = platform.GetFileId(path); id != 0) {
                dirs->insert(id);
            }
        }
        if (!dirs->empty()) {
            watchedDirs = std::move(dirs);
            filterActive = true;
        }
    }

    stopEvent.Reset();
    slots = std::move(slotsToUse);
    const bool started = worker.Start([this] {
        if (filterActive) {
            RunWorker();
        } else {
            RunJournalLoop();
        }
    });
    if (!started) {
        slots = WatcherSlots{};
        watchedDirs.reset();
        CloseVolume();
        refusal = OpenRefusal::WorkerNotStarted;
        return false;
    }
    return true;
}

void VolumeJournalWatcher::Stop() {
    stopEvent.Set();
    worker.Join();
    CloseVolume();
    parentIndex.reset();
    watchedDirs.reset();
    slots = WatcherSlots{};
}

void VolumeJournalWatcher::CloseVolume() {
    if (volumeHandle != kInvalidPlatformHandle) {
        platform.CloseVolume(volumeHandle);
        volumeHandle = kInvalidPlatformHandle;
    }
}

std::uint64_t VolumeJournalWatcher::CurrentWatchStart() const {
    return static_cast<std::uint64_t>(
        ntfs::kUnixEpochAsFileTime + platform.CurrentUnixSeconds() * ntfs::kFileTimeTicksPerSecond);
}

bool VolumeJournalWatcher::OpenJournal() {
    if (volumeHandle == kInvalidPlatformHandle) {
        return false;
    }
    const ntfs::CreateUsnJournalData create{0, 0};
    std::uint32_t returned = 0;
    if (!platform.DeviceIoControl(volumeHandle, ntfs::kFsctlCreateUsnJournal, &create,
                                  sizeof create, nullptr, 0, returned)) {
        return false;
    }
    ntfs::UsnJournalDataV0 queried{};
    if (!platform.DeviceIoControl(volumeHandle, ntfs::kFsctlQueryUsnJournal, nullptr, 0, &queried,
                                  sizeof queried, returned)) {
        return false;
    }
    journalData = queried;
    watchStart = CurrentWatchStart();
    return true;
}

void VolumeJournalWatcher::RunWorker() {
    if (volumeHandle == kInvalidPlatformHandle) {
        return;
    }
    parentIndex = std::make_unique<FileRecordIndex>();
    BuildParentIndex();
    RunJournalLoop();
}

void VolumeJournalWatcher::BuildParentIndex() {
    EnumerateDirectories(platform, volumeHandle, stopEvent, *parentIndex);
}

bool VolumeJournalWatcher::ReadJournal(ntfs::ReadUsnJournalDataV0& request, std::uint8_t* buffer,
                                       std::uint32_t& returned) {
    returned = 0;
    request.UsnJournalID = journalData.UsnJournalID;
    if (!platform.DeviceIoControl(volumeHandle, ntfs::kFsctlReadUsnJournal, &request,
                                  sizeof request, buffer, kReadBufferSize, returned)) {
        return false;
    }
    returned = std::min(returned, kReadBufferSize);
    return true;
}

void VolumeJournalWatcher::RunJournalLoop() {
    if (volumeHandle == kInvalidPlatformHandle) {
        return;
    }
    if (slots.OnStarted) {
        slots.OnStarted();
    }
    const WatchScope scope{platform,          volumeHandle,      rootPath, recyclePath,
                           watchedDirs.get(), parentIndex.get(), slots};
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
                               [&](const ntfs::UsnRecordV2& record) {
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
        if (!OpenJournal()) {
            return;  // the volume or its journal is gone for good
        }
        recovered = true;
        if (journalData.UsnJournalID == previousId) {
            // The same journal dropped records the reader had not reached: go on from the
            // oldest it still keeps, with the same start time and held renames.
            request.StartUsn = std::max(request.StartUsn, journalData.FirstUsn);
            watchStart = previousStart;
        } else {
            beginPass();  // a new journal: read it from its first record, from now on
        }
    }
}
