#include "monitor/FileChangeMonitor.h"

#include <vector>

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
    for (auto event = events.rbegin(); event != events.rend(); ++event) {
        event->Bind(nullptr, nullptr);
    }
}

WatcherSlots FileChangeMonitor::MakeSlots() {
    // Only the kinds someone listens for: the engine spares the paths of the others.
    WatcherSlots slots;
    for (const ChangeKindNames& names : kChangeKinds) {
        if (Event(names.kind).IsBound()) {
            slots[names.kind] = [this](const FileChange& change) { Raise(change); };
        }
    }
    slots.SetFilter(filter);
    return slots;
}

bool FileChangeMonitor::StartWatch(const CWString& driveText, const CMStringArray& paths) {
    std::vector<WatchedDirectory> directories;
    for (int i = 0; i < paths.Count(); ++i) {
        directories.push_back(WatchedDirectory::Resolve(platform, paths.At(i).View()));
    }
    return StartWatch(driveText.First(), directories);
}

bool FileChangeMonitor::StartWatch(char16_t driveLetter,
                                   std::span<const WatchedDirectory> directories) {
    return StartWatch(driveLetter, directories, MakeSlots());
}

bool FileChangeMonitor::StartWatch(char16_t driveLetter,
                                   std::span<const WatchedDirectory> directories,
                                   WatcherSlots slots, std::optional<JournalPosition> resumeFrom) {
    // One engine per volume: c and C are one drive, as the watched-path rule reads it.
    const char16_t key = FoldAsciiLetter(driveLetter);
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
    const bool started = engine->Open(key, directories, std::move(slots), resumeFrom);
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

int FileChangeMonitor::Raise(const FileChange& change) {
    return Event(change.kind).Raise(this, change);
}
