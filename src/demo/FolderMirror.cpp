#include "demo/FolderMirror.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "demo/FileNotifyRecords.h"
#include "engine/StopSignal.h"
#include "sim/SimNames.h"

namespace {

// A notification's name is taken only when every part of it is a name the volume can
// hold: no empty part, no "." or "..", nothing that could lead out of the mirror.
bool IsUsable(std::u16string_view path) {
    if (path.empty()) {
        return false;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find(u'\\', start);
        const std::u16string_view part = path.substr(
            start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
        if (!sim_names::IsValid(part)) {
            return false;
        }
        if (end == std::u16string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

std::u16string_view ParentOf(std::u16string_view path) {
    const std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

std::u16string_view LeafOf(std::u16string_view path) {
    const std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string Join(std::u16string_view directory, std::u16string_view name) {
    std::u16string path(directory);
    if (!path.empty()) {
        path += u'\\';
    }
    path += name;
    return path;
}

bool IsBelow(std::u16string_view path, std::u16string_view directory) {
    return path.size() > directory.size() && path[directory.size()] == u'\\' &&
           sim_names::Equal(path.substr(0, directory.size()), directory);
}

// Names Windows shortens to 8.3 carry a tilde there.
bool MayHoldShortNames(std::u16string_view path) {
    return path.find(u'~') != std::u16string_view::npos;
}

// Notifications that follow a removed name closely enough to be the other half of a
// move between directories.
constexpr std::size_t kMoveLookahead = 16;

}  // namespace

FolderMirror::FolderMirror(SimVolume& volume, FolderPlatform& folder)
    : volume_(volume), folder_(folder) {}

void FolderMirror::Prepare() {
    // The watch first: what changes while the tree is copied is kept for the first read.
    StartWatch();
    mirror_ = volume_.Lookup(kMirrorPath);
    if (mirror_ == 0) {
        mirror_ =
            volume_.AddExisting(SimVolume::kRoot, kMirrorPath.substr(1), ntfs::kAttributeDirectory);
    }
    CopyBelow(mirror_, u"", false);
}

void FolderMirror::Run(StopSignal& stop) {
    stop_ = &stop;
    while (!stop.IsSet()) {
        if (!watching_) {
            if (stop.WaitFor(kRestartMs)) {
                break;
            }
            if (StartWatch()) {
                Rescan();
            }
            continue;
        }
        ReadOnce();
    }
    stop_ = nullptr;
}

bool FolderMirror::StartWatch() {
    watching_ = folder_.StartWatch();
    FolderEntry folder;
    folderId_ = watching_ && folder_.Stat(u"", folder) ? folder.id : 0;
    nextFolderCheck_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRestartMs);
    return watching_;
}

void FolderMirror::CheckTheFolder() {
    // A watch outlives its folder quietly where the folder is deleted (under Wine it then
    // reports nothing, also once a folder of the same name is made again): a folder that
    // is gone or another one is watched afresh.
    nextFolderCheck_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRestartMs);
    FolderEntry folder;
    if (!folder_.Stat(u"", folder) ||
        (folderId_ != 0 && folder.id != 0 && folder.id != folderId_)) {
        watching_ = false;
    }
}

bool FolderMirror::Stopping() const {
    return stop_ != nullptr && stop_->IsSet();
}

void FolderMirror::ReadOnce() {
    switch (folder_.ReadChanges(bytes_, kWaitMs)) {
        case FolderReadStatus::kChanges: {
            const file_notify::Parsed parsed = file_notify::Parse(bytes_);
            Apply(parsed.changes);
            if (!parsed.complete) {
                Rescan();
            }
            break;
        }
        case FolderReadStatus::kOverflow:
            Rescan();
            break;
        case FolderReadStatus::kQuiet:
            Settle();
            if (std::chrono::steady_clock::now() >= nextFolderCheck_) {
                CheckTheFolder();
            }
            break;
        case FolderReadStatus::kFailed:
            Settle();
            watching_ = false;
            break;
    }
}

// ---- One read's notifications

void FolderMirror::Apply(const std::vector<FolderChange>& read) {
    // A read ends where the system completed it, which may be between the two halves of a
    // rename or of a move that Windows reports as a removed and an added name: the last
    // change waits for the next read when it may be such a first half.
    std::vector<FolderChange> changes;
    changes.reserve(read.size() + 1);
    if (carried_) {
        changes.push_back(std::move(*carried_));
        carried_.reset();
    }
    changes.insert(changes.end(), read.begin(), read.end());
    if (!changes.empty() && (changes.back().action == FolderAction::kRenamedOldName ||
                             changes.back().action == FolderAction::kRemoved)) {
        carried_ = std::move(changes.back());
        changes.pop_back();
    }
    Batch batch{changes, std::vector<bool>(changes.size()), {}, {}};
    batch.looked.resize(changes.size());
    batch.askedStat.resize(changes.size());
    for (std::size_t i = 0; i < changes.size() && !Stopping(); ++i) {
        if (batch.consumed[i]) {
            continue;
        }
        const FolderChange& change = changes[i];
        switch (change.action) {
            case FolderAction::kAdded:
                Added(change.path, &batch, i);
                break;
            case FolderAction::kRemoved:
                Removed(change.path, &batch, i);
                break;
            case FolderAction::kModified:
                Modified(change.path, &batch, i);
                break;
            case FolderAction::kRenamedOldName:
                if (i + 1 < changes.size() &&
                    changes[i + 1].action == FolderAction::kRenamedNewName) {
                    Renamed(change.path, changes[i + 1].path);
                    ++i;
                } else {
                    Removed(change.path, nullptr, 0);  // its new name lies outside the folder
                }
                break;
            case FolderAction::kRenamedNewName:
                Added(change.path, &batch, i);  // came in from outside the folder
                break;
        }
    }
}

void FolderMirror::Settle() {
    if (carried_) {
        // No other half came: the name left the folder.
        const FolderChange change = std::move(*carried_);
        carried_.reset();
        Removed(change.path, nullptr, 0);
    }
}

void FolderMirror::Rescan() {
    Settle();
    Reconcile(mirror_, u"", true);
}

void FolderMirror::Added(const std::u16string& notified, Batch* batch, std::size_t index) {
    const std::u16string path = LongForm(notified);
    std::optional<FolderEntry> now;
    if (batch != nullptr) {
        now = LookedAt(*batch, index);
    } else if (FolderEntry entry; StatOf(path, entry)) {
        now = entry;
    }
    if (const std::uint64_t existing = Find(path); existing != 0) {
        // Already there: copied after the watch began, or named twice.
        if (now) {
            Refresh(existing, path, *now);
        }
        return;
    }
    if (!IsUsable(path)) {
        return;
    }
    const std::uint64_t parent = EnsureDirectory(ParentOf(path));
    if (parent == 0) {
        return;
    }
    if (!now) {
        Create(parent, path, Vanished(path, batch, index));
        return;
    }
    if (const auto known = byId_.find(now->id); now->id != 0 && known != byId_.end()) {
        // A file the mirror holds under another name: the same file named in another
        // letter case, a move whose removed half comes later, or a further name (a hard
        // link) of a file that keeps its first one.
        const std::optional<std::u16string> where = volume_.PathOf(known->second);
        if (where && IsBelow(*where, kMirrorPath)) {
            const std::u16string oldPath = where->substr(kMirrorPath.size() + 1);
            FolderEntry atOldPath;
            if (sim_names::Equal(oldPath, path)) {
                Refresh(known->second, oldPath, *now);
                return;
            }
            if (!StatOf(oldPath, atOldPath) || atOldPath.id != now->id) {
                Move(known->second, path, now);
                return;
            }
        }
    }
    Create(parent, path, *now);
}

void FolderMirror::Removed(const std::u16string& path, Batch* batch, std::size_t index) {
    const std::uint64_t reference = Find(path);
    if (reference == 0) {
        if (MayHoldShortNames(path)) {
            // Perhaps a short name of something the mirror holds by its long name.
            if (const std::uint64_t directory = Find(ParentOf(path)); directory != 0) {
                Reconcile(directory, ParentOf(path), false);
            }
        }
        return;
    }
    const auto known = known_.find(reference);
    if (batch != nullptr && known != known_.end() && known->second.realId != 0) {
        // Windows reports a move between directories as a removed and an added name.
        const std::size_t end = std::min(batch->changes.size(), index + 1 + kMoveLookahead);
        for (std::size_t j = index + 1; j < end; ++j) {
            if (batch->consumed[j] || batch->changes[j].action != FolderAction::kAdded) {
                continue;
            }
            const std::optional<FolderEntry>& added = LookedAt(*batch, j);
            if (added && added->id == known->second.realId) {
                batch->consumed[j] = true;
                Move(reference, LongForm(batch->changes[j].path), added);
                return;
            }
        }
    }
    Delete(reference);
}

void FolderMirror::Modified(const std::u16string& notified, Batch* batch, std::size_t index) {
    const std::u16string path = LongForm(notified);
    const std::uint64_t reference = Find(path);
    FolderEntry entry;
    const bool there = batch != nullptr ? LookedAt(*batch, index).has_value() : StatOf(path, entry);
    if (reference == 0) {
        if (there) {
            Added(notified, batch, index);  // its added name went unseen
        }
        return;
    }
    if (there) {
        Refresh(reference, path, batch != nullptr ? *LookedAt(*batch, index) : entry);
    }
}

void FolderMirror::Renamed(const std::u16string& from, const std::u16string& notifiedTo) {
    const std::u16string to = LongForm(notifiedTo);
    const std::uint64_t reference = Find(from);
    if (reference == 0) {
        if (MayHoldShortNames(from)) {
            Removed(from, nullptr, 0);
        }
        Added(to, nullptr, 0);
        return;
    }
    FolderEntry entry;
    std::optional<FolderEntry> now;
    if (StatOf(to, entry)) {
        now = entry;
    }
    Move(reference, to, now);
}

// ---- Operations on the volume

std::uint64_t FolderMirror::Find(std::u16string_view path) const {
    if (path.empty()) {
        return mirror_;
    }
    if (!IsUsable(path)) {
        return 0;
    }
    const std::uint64_t reference = volume_.Lookup(Join(kMirrorPath, path));
    if (reference == 0) {
        return 0;
    }
    // On a case-sensitive folder two names may differ in letter case only; the volume
    // holds the first of them, and the other is left out.
    const std::optional<SimFileInfo> info = volume_.Info(reference);
    return info && info->name == LeafOf(path) ? reference : 0;
}

std::uint64_t FolderMirror::EnsureDirectory(std::u16string_view path) {
    if (const std::uint64_t existing = Find(path); existing != 0) {
        const std::optional<SimFileInfo> info = volume_.Info(existing);
        return info && (info->attributes & ntfs::kAttributeDirectory) != 0 ? existing : 0;
    }
    if (!IsUsable(path)) {
        return 0;
    }
    const std::uint64_t parent = EnsureDirectory(ParentOf(path));
    FolderEntry entry;
    if (parent == 0 || !StatOf(path, entry) || !entry.IsDirectory()) {
        return 0;
    }
    return Create(parent, path, entry);
}

std::uint64_t FolderMirror::Create(std::uint64_t parent, std::u16string_view path,
                                   const FolderEntry& entry) {
    const std::u16string_view name = LeafOf(path);
    if (!sim_names::IsValid(name)) {
        return 0;
    }
    SimOpenFile handle = volume_.CreateOpen(parent, name, entry.attributes);
    if (!handle) {
        return 0;
    }
    const std::uint64_t reference = handle.Reference();
    if (!entry.IsDirectory() && entry.size != 0) {
        handle.Write(0, entry.size);
    }
    handle.Close();
    Remember(reference, entry);
    if (entry.IsDirectory() && !entry.IsReparsePoint()) {
        CopyBelow(reference, path, true);
    }
    return reference;
}

void FolderMirror::Move(std::uint64_t reference, std::u16string_view to,
                        const std::optional<FolderEntry>& now) {
    const std::uint64_t parent = EnsureDirectory(ParentOf(to));
    if (parent == 0 || !IsUsable(to)) {
        Delete(reference);  // moved where the mirror cannot follow
        return;
    }
    const std::uint64_t occupant = volume_.Lookup(Join(kMirrorPath, to));
    if (occupant != 0 && occupant != reference) {
        // The move replaced what had the name. A file goes with the rename's own delete;
        // a directory cannot be replaced by a rename on Windows, so it goes first.
        const std::optional<SimFileInfo> info = volume_.Info(occupant);
        if (info && (info->attributes & ntfs::kAttributeDirectory) != 0) {
            Delete(occupant);
        }
    }
    SimOpenFile handle = volume_.Open(reference);
    const bool moved = handle.Rename(parent, LeafOf(to), true);
    handle.Close();
    if (!moved) {
        Delete(reference);
        if (now) {
            Create(parent, to, *now);
        }
        return;
    }
    if (occupant != 0 && occupant != reference) {
        Forget(occupant);
    }
    if (now) {
        // Some file systems (FAT) number a file by where its name is: a move may give it
        // another index without making it another file.
        Rebind(reference, now->id);
        Refresh(reference, to, *now);
    }
}

void FolderMirror::Refresh(std::uint64_t reference, std::u16string_view path,
                           const FolderEntry& entry) {
    const std::optional<SimFileInfo> info = volume_.Info(reference);
    if (!info) {
        return;
    }
    const Known known = known_.count(reference) != 0 ? known_.at(reference) : Known{};
    const bool wasDirectory = (info->attributes & ntfs::kAttributeDirectory) != 0;
    const bool replaced = known.realId != 0 && entry.id != 0 && known.realId != entry.id;
    if (wasDirectory != entry.IsDirectory() || (replaced && reference != mirror_)) {
        // Another file has the name now.
        Delete(reference);
        Create(info->parent, path, entry);
        return;
    }
    if (!entry.IsDirectory()) {
        // One handle, as a program that writes the file holds one.
        SimOpenFile handle = volume_.Open(reference);
        if (entry.size > info->size) {
            handle.Write(info->size, entry.size - info->size);
        } else if (entry.size < info->size) {
            // Files shrink mostly by being written anew (opened to be replaced).
            handle.SetLength(0);
            if (entry.size != 0) {
                handle.Write(0, entry.size);
            }
        } else if (entry.lastWrite != known.lastWrite) {
            if (entry.size != 0) {
                handle.Write(0, entry.size);
            } else {
                handle.NoteChange(ntfs::kReasonBasicInfoChange);  // only its times changed
            }
        }
        handle.Close();
    }
    const std::uint32_t attributes = (entry.attributes & ~ntfs::kAttributeDirectory) |
                                     (info->attributes & ntfs::kAttributeDirectory);
    if (attributes != info->attributes && reference != mirror_) {
        volume_.SetAttributes(reference, attributes);
    }
    Remember(reference, entry);
}

void FolderMirror::Delete(std::uint64_t reference) {
    if (reference == mirror_) {
        return;
    }
    std::vector<std::uint64_t> gone{reference};
    for (std::size_t i = 0; i < gone.size(); ++i) {
        for (const auto& [child, name] : volume_.Children(gone[i])) {
            gone.push_back(child);
        }
    }
    const std::optional<SimFileInfo> info = volume_.Info(reference);
    if (info && (info->attributes & ntfs::kAttributeDirectory) != 0) {
        volume_.DeleteTree(reference);
    } else {
        volume_.Delete(reference);
    }
    for (const std::uint64_t entry : gone) {
        if (!volume_.Info(entry)) {
            Forget(entry);
        }
    }
}

void FolderMirror::CopyBelow(std::uint64_t directory, std::u16string_view path, bool withRecords) {
    // Each directory's entries in the order it lists them, a subdirectory's right after
    // it, as a copying program goes; without recursion, as a folder may be deep.
    struct Level {
        std::uint64_t directory;
        std::u16string path;
        std::vector<FolderEntry> entries;
        std::size_t next = 0;
    };
    std::vector<Level> levels;
    const auto enter = [&](std::uint64_t reference, std::u16string levelPath) {
        Level level{reference, std::move(levelPath), {}, 0};
        if (folder_.List(level.path, level.entries)) {
            levels.push_back(std::move(level));
        }
    };
    enter(directory, std::u16string(path));
    while (!levels.empty() && !Stopping()) {
        Level& level = levels.back();
        if (level.next == level.entries.size()) {
            levels.pop_back();
            continue;
        }
        const FolderEntry entry = level.entries[level.next++];
        if (!sim_names::IsValid(entry.name)) {
            continue;
        }
        std::uint64_t child = 0;
        if (withRecords) {
            SimOpenFile handle = volume_.CreateOpen(level.directory, entry.name, entry.attributes);
            child = handle.Reference();
            if (handle && !entry.IsDirectory() && entry.size != 0) {
                handle.Write(0, entry.size);
            }
        } else {
            child = volume_.AddExisting(level.directory, entry.name, entry.attributes, entry.size);
        }
        if (child == 0) {
            continue;
        }
        Remember(child, entry);
        if (entry.IsDirectory() && !entry.IsReparsePoint()) {
            enter(child, Join(level.path, entry.name));  // `level` is not used after this
        }
    }
}

void FolderMirror::Reconcile(std::uint64_t directory, std::u16string_view path, bool deep) {
    std::vector<std::pair<std::uint64_t, std::u16string>> pending{
        {directory, std::u16string(path)}};
    std::vector<FolderEntry> entries;
    while (!pending.empty() && !Stopping()) {
        const auto [mirrored, dirPath] = std::move(pending.back());
        pending.pop_back();
        entries.clear();
        if (!folder_.List(dirPath, entries)) {
            continue;  // unreadable for now: left as it is
        }
        std::erase_if(entries, [](const FolderEntry& e) { return !sim_names::IsValid(e.name); });
        std::unordered_set<std::u16string> names;
        for (const FolderEntry& entry : entries) {
            names.insert(entry.name);
        }
        for (const auto& [child, name] : volume_.Children(mirrored)) {
            if (names.count(name) == 0) {
                Delete(child);
            }
        }
        for (const FolderEntry& entry : entries) {
            const std::u16string childPath = Join(dirPath, entry.name);
            const std::uint64_t child = Find(childPath);
            if (child == 0) {
                Create(mirrored, childPath, entry);
                continue;
            }
            Refresh(child, childPath, entry);
            if (deep && entry.IsDirectory() && !entry.IsReparsePoint() &&
                Find(childPath) == child) {
                pending.emplace_back(child, childPath);
            }
        }
    }
}

// ---- The folder

bool FolderMirror::StatOf(std::u16string_view path, FolderEntry& entry) {
    return folder_.Stat(path, entry);
}

std::u16string FolderMirror::LongForm(const std::u16string& path) {
    if (!MayHoldShortNames(path) || Find(path) != 0) {
        return path;
    }
    std::u16string longPath = folder_.LongPath(path);
    return longPath.empty() ? path : longPath;
}

FolderEntry FolderMirror::Vanished(const std::u16string& path, Batch* batch, std::size_t index) {
    FolderEntry guess;
    guess.attributes = ntfs::kAttributeArchive;
    if (batch == nullptr) {
        return guess;
    }
    std::u16string name = path;
    bool renamed = false;
    for (std::size_t j = index + 1; j < batch->changes.size(); ++j) {
        const FolderChange& later = batch->changes[j];
        if (IsBelow(later.path, name) || IsBelow(later.path, path)) {
            guess.attributes = ntfs::kAttributeDirectory;
        }
        if (later.action == FolderAction::kRenamedOldName && later.path == name &&
            j + 1 < batch->changes.size() &&
            batch->changes[j + 1].action == FolderAction::kRenamedNewName) {
            name = batch->changes[j + 1].path;
            renamed = true;
            ++j;
        } else if (later.action == FolderAction::kRemoved && later.path == name) {
            break;
        }
    }
    FolderEntry now;
    if (renamed && StatOf(name, now)) {
        return now;
    }
    return guess;
}

const std::optional<FolderEntry>& FolderMirror::LookedAt(Batch& batch, std::size_t index) {
    if (!batch.askedStat[index]) {
        batch.askedStat[index] = true;
        FolderEntry entry;
        if (StatOf(LongForm(batch.changes[index].path), entry)) {
            batch.looked[index] = entry;
        }
    }
    return batch.looked[index];
}

void FolderMirror::Remember(std::uint64_t reference, const FolderEntry& entry) {
    Rebind(reference, entry.id);
    known_[reference].lastWrite = entry.lastWrite;
}

void FolderMirror::Rebind(std::uint64_t reference, std::uint64_t realId) {
    Known& known = known_[reference];
    if (known.realId == realId) {
        return;
    }
    const auto it = byId_.find(known.realId);
    if (it != byId_.end() && it->second == reference) {
        byId_.erase(it);
    }
    known.realId = realId;
    if (realId != 0) {
        byId_[realId] = reference;
    }
}

void FolderMirror::Forget(std::uint64_t reference) {
    const auto it = known_.find(reference);
    if (it == known_.end()) {
        return;
    }
    const auto byId = byId_.find(it->second.realId);
    if (byId != byId_.end() && byId->second == reference) {
        byId_.erase(byId);
    }
    known_.erase(it);
}
