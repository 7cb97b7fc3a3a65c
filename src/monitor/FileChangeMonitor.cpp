#include "monitor/FileChangeMonitor.h"

FileChangeMonitor::FileChangeMonitor(VolumePlatform& platformToUse) : platform(platformToUse) {}

FileChangeMonitor::FileChangeMonitor(const FileChangeMonitor& other)
    : CVolObject(other), platform(other.platform) {}

FileChangeMonitor& FileChangeMonitor::operator=(const FileChangeMonitor& other) {
    if (this != &other) {
        CVolObject::operator=(other);
        Reset();
    }
    return *this;
}

FileChangeMonitor::~FileChangeMonitor() {
    // Every worker ends before anything it may raise into is released; the event slots
    // then give their receivers back in reverse order of declaration.
    StopAll();
}

std::unique_ptr<FileChangeMonitor> FileChangeMonitor::Clone() const {
    return std::make_unique<FileChangeMonitor>(*this);
}

void FileChangeMonitor::Reset() {
    StopAll();
    UnbindAll();
}

// Stopping an engine waits for its worker, and in the windows build that wait serves the
// messages other threads send to this thread's windows: a handler reached that way may
// call StartWatch, StopWatch or Reset on this monitor. So an engine leaves the map before
// it is stopped, and such a call finds the map as it is, never the engine being stopped.
std::unique_ptr<VolumeJournalWatcher> FileChangeMonitor::TakeOut(char16_t driveLetter) {
    auto node = watchers.extract(FoldAsciiLetter(driveLetter));
    return node.empty() ? nullptr : std::move(node.mapped());
}

void FileChangeMonitor::StopAll() {
    // Also the engines that a handler starts while others are being stopped.
    while (!watchers.empty()) {
        TakeOut(watchers.begin()->first)->Stop();
    }
}

void FileChangeMonitor::UnbindAll() {
    WatchEnded.Bind(nullptr, nullptr);
    JournalGap.Bind(nullptr, nullptr);
    FileOtherChange.Bind(nullptr, nullptr);
    FileAttributesChanged.Bind(nullptr, nullptr);
    FileMoved.Bind(nullptr, nullptr);
    FileRecycled.Bind(nullptr, nullptr);
    FileRenamed.Bind(nullptr, nullptr);
    FileContentChanged.Bind(nullptr, nullptr);
    FileDeleted.Bind(nullptr, nullptr);
    FileCreated.Bind(nullptr, nullptr);
    WatchStarted.Bind(nullptr, nullptr);
}

WatcherSlots FileChangeMonitor::MakeSlots(const CWString& driveText) {
    // Each slot holds its own copy of the drive text and hands it on by reference.
    WatcherSlots slots;
    slots.OnStarted = [this, drive = driveText]() mutable { return RaiseWatchStarted(drive); };
    slots.OnCreated = [this, drive = driveText](CWString& name, CWString& dir, FileTime&,
                                                int) mutable {
        return RaiseFileCreated(drive, name, dir);
    };
    slots.OnDeleted = [this, drive = driveText](CWString& name, CWString& dir, FileTime&,
                                                int) mutable {
        return RaiseFileDeleted(drive, name, dir);
    };
    slots.OnContentChanged = [this, drive = driveText](CWString& name, CWString& dir, int,
                                                       FileTime&, int) mutable {
        return RaiseFileContentChanged(drive, name, dir);
    };
    slots.OnRenamed = [this, drive = driveText](CWString& oldName, CWString& newName, CWString& dir,
                                                FileTime&, int) mutable {
        return RaiseFileRenamed(drive, oldName, newName, dir);
    };
    slots.OnMoved = [this, drive = driveText](CWString& oldName, CWString& newName,
                                              CWString& oldDir, CWString& newDir, FileTime&,
                                              int) mutable {
        return RaiseFileMoved(drive, oldName, newName, oldDir, newDir);
    };
    slots.OnRecycled = [this, drive = driveText](CWString& oldName, CWString& oldDir,
                                                 CWString& newPath, FileTime&, int) mutable {
        return RaiseFileRecycled(drive, oldName, oldDir, newPath);
    };
    slots.OnAttributesChanged = [this, drive = driveText](CWString& name, CWString& dir,
                                                          int reasons, FileTime&, int) mutable {
        return RaiseFileAttributesChanged(drive, name, dir, reasons);
    };
    slots.OnOtherChange = [this, drive = driveText](CWString& name, CWString& dir, int reasons,
                                                    FileTime&, int) mutable {
        return RaiseFileOtherChange(drive, name, dir, reasons);
    };
    slots.OnGap = [this, drive = driveText](CWString& root, ::JournalGap reason,
                                            std::int64_t firstLostUsn,
                                            std::int64_t resumeUsn) mutable {
        return RaiseJournalGap(drive, root, static_cast<int>(reason), firstLostUsn, resumeUsn);
    };
    slots.OnEnded = [this, drive = driveText](CWString& root, WatchEnd reason) mutable {
        return RaiseWatchEnded(drive, root, static_cast<int>(reason));
    };
    return slots;
}

bool FileChangeMonitor::StartWatch(const CWString& driveText, const CMStringArray& paths) {
    return StartWatch(driveText, paths, MakeSlots(driveText));
}

bool FileChangeMonitor::StartWatch(const CWString& driveText, const CMStringArray& paths,
                                   WatcherSlots slots, std::optional<JournalPosition> resumeFrom) {
    // One engine per volume: c and C are one drive, as the watched-path rule reads it.
    const char16_t key = FoldAsciiLetter(driveText.First());
    std::unique_ptr<VolumeJournalWatcher> engine = TakeOut(key);
    if (engine) {
        engine->Stop();
    }
    // A watch that a handler started on this drive while the old one stopped gives way to
    // this later start.
    while (std::unique_ptr<VolumeJournalWatcher> started = TakeOut(key)) {
        started->Stop();
    }
    if (!engine) {
        engine = std::make_unique<VolumeJournalWatcher>(platform);
    }
    // The slots go in with Open, before the worker starts: its first notifications,
    // WatchStarted above all, cannot be missed. Open waits for nothing here: the engine
    // is stopped already.
    const bool started = engine->Open(key, paths, std::move(slots), resumeFrom);
    lastRefusal = engine->Refusal();
    if (!started) {
        return false;
    }
    watchers.emplace(key, std::move(engine));
    return true;
}

void FileChangeMonitor::StopWatch(char16_t driveLetter) {
    EndWatch(driveLetter);
}

std::optional<JournalPosition> FileChangeMonitor::EndWatch(char16_t driveLetter) {
    std::unique_ptr<VolumeJournalWatcher> engine = TakeOut(driveLetter);
    if (!engine) {
        return std::nullopt;
    }
    engine->Stop();
    return engine->Position();
}

std::optional<JournalPosition> FileChangeMonitor::PositionOf(char16_t driveLetter) const {
    const auto it = watchers.find(FoldAsciiLetter(driveLetter));
    return it == watchers.end() ? std::nullopt
                                : std::optional<JournalPosition>(it->second->Position());
}

bool FileChangeMonitor::StopWatchForRemoval(PlatformHandle volume) {
    for (const auto& [letter, engine] : watchers) {
        if (engine->VolumeOpen() && engine->VolumeHandle() == volume) {
            // Stays in the map, ended, until StopWatch: its owner learns of the end from
            // the notice, as of any other end.
            engine->StopForRemoval();
            return true;
        }
    }
    return false;
}

bool FileChangeMonitor::HasEnded(char16_t driveLetter) const {
    const auto it = watchers.find(FoldAsciiLetter(driveLetter));
    return it != watchers.end() && it->second->EndedBy().has_value();
}

PlatformHandle FileChangeMonitor::VolumeOf(char16_t driveLetter) const {
    const auto it = watchers.find(FoldAsciiLetter(driveLetter));
    return it == watchers.end() ? kInvalidPlatformHandle : it->second->VolumeHandle();
}

int FileChangeMonitor::RaiseWatchStarted(CWString& drive) {
    return WatchStarted.Raise(this, drive);
}

int FileChangeMonitor::RaiseFileCreated(CWString& drive, CWString& name, CWString& dir) {
    return FileCreated.Raise(this, drive, name, dir);
}

int FileChangeMonitor::RaiseFileDeleted(CWString& drive, CWString& name, CWString& dir) {
    return FileDeleted.Raise(this, drive, name, dir);
}

int FileChangeMonitor::RaiseFileContentChanged(CWString& drive, CWString& name, CWString& dir) {
    return FileContentChanged.Raise(this, drive, name, dir);
}

int FileChangeMonitor::RaiseFileRenamed(CWString& drive, CWString& oldName, CWString& newName,
                                        CWString& dir) {
    return FileRenamed.Raise(this, drive, oldName, newName, dir);
}

int FileChangeMonitor::RaiseFileRecycled(CWString& drive, CWString& oldName, CWString& oldDir,
                                         CWString& newPath) {
    return FileRecycled.Raise(this, drive, oldName, oldDir, newPath);
}

int FileChangeMonitor::RaiseFileMoved(CWString& drive, CWString& oldName, CWString& newName,
                                      CWString& oldDir, CWString& newDir) {
    return FileMoved.Raise(this, drive, oldName, newName, oldDir, newDir);
}

int FileChangeMonitor::RaiseFileAttributesChanged(CWString& drive, CWString& name, CWString& dir,
                                                  int reasons) {
    return FileAttributesChanged.Raise(this, drive, name, dir, reasons);
}

int FileChangeMonitor::RaiseFileOtherChange(CWString& drive, CWString& name, CWString& dir,
                                            int reasons) {
    return FileOtherChange.Raise(this, drive, name, dir, reasons);
}

int FileChangeMonitor::RaiseJournalGap(CWString& drive, CWString& root, int reason,
                                       std::int64_t firstLostUsn, std::int64_t resumeUsn) {
    return JournalGap.Raise(this, drive, root, reason, firstLostUsn, resumeUsn);
}

int FileChangeMonitor::RaiseWatchEnded(CWString& drive, CWString& root, int reason) {
    return WatchEnded.Raise(this, drive, root, reason);
}
