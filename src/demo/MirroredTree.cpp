#include "demo/MirroredTree.h"

#include <unordered_set>
#include <utility>

#include "demo/MirrorPaths.h"
#include "sim/SimNames.h"

using mirror_paths::IsUsable;
using mirror_paths::Join;
using mirror_paths::LeafOf;
using mirror_paths::ParentOf;

MirroredTree::MirroredTree(SimVolume& volume, FolderPlatform& folder)
    : volume_(volume), folder_(folder) {}

std::uint64_t MirroredTree::MakeRoot() {
    root_ = volume_.Lookup(kMirrorPath);
    if (root_ == 0) {
        root_ =
            volume_.AddExisting(SimVolume::kRoot, kMirrorPath.substr(1), ntfs::kAttributeDirectory);
    }
    return root_;
}

std::uint64_t MirroredTree::ReferenceOfRealId(std::uint64_t realId) const {
    const auto known = byId_.find(realId);
    return realId == 0 || known == byId_.end() ? 0 : known->second;
}

std::uint64_t MirroredTree::RealIdOf(std::uint64_t reference) const {
    const auto known = known_.find(reference);
    return known == known_.end() ? 0 : known->second.realId;
}

std::optional<std::u16string> MirroredTree::PathInMirror(std::uint64_t reference) const {
    const std::optional<std::u16string> where = volume_.PathOf(reference);
    if (!where || !mirror_paths::IsBelow(*where, kMirrorPath)) {
        return std::nullopt;
    }
    return where->substr(kMirrorPath.size() + 1);
}

bool MirroredTree::Stopping() const {
    return stop_ != nullptr && stop_->IsSet();
}

std::uint64_t MirroredTree::Find(std::u16string_view path) const {
    if (path.empty()) {
        return root_;
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

std::uint64_t MirroredTree::EnsureDirectory(std::u16string_view path) {
    if (const std::uint64_t existing = Find(path); existing != 0) {
        const std::optional<SimFileInfo> info = volume_.Info(existing);
        return info && (info->attributes & ntfs::kAttributeDirectory) != 0 ? existing : 0;
    }
    if (!IsUsable(path)) {
        return 0;
    }
    const std::uint64_t parent = EnsureDirectory(ParentOf(path));
    FolderEntry entry;
    if (parent == 0 || !folder_.Stat(path, entry) || !entry.IsDirectory()) {
        return 0;
    }
    return Create(parent, path, entry);
}

std::uint64_t MirroredTree::Create(std::uint64_t parent, std::u16string_view path,
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

void MirroredTree::Move(std::uint64_t reference, std::u16string_view to,
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

void MirroredTree::Refresh(std::uint64_t reference, std::u16string_view path,
                           const FolderEntry& entry) {
    const std::optional<SimFileInfo> info = volume_.Info(reference);
    if (!info) {
        return;
    }
    const Known known = known_.count(reference) != 0 ? known_.at(reference) : Known{};
    const bool wasDirectory = (info->attributes & ntfs::kAttributeDirectory) != 0;
    const bool replaced = known.realId != 0 && entry.id != 0 && known.realId != entry.id;
    if (wasDirectory != entry.IsDirectory() || (replaced && reference != root_)) {
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
    if (attributes != info->attributes && reference != root_) {
        volume_.SetAttributes(reference, attributes);
    }
    Remember(reference, entry);
}

void MirroredTree::Delete(std::uint64_t reference) {
    if (reference == root_) {
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

void MirroredTree::CopyBelow(std::uint64_t directory, std::u16string_view path, bool withRecords) {
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

void MirroredTree::Reconcile(std::uint64_t directory, std::u16string_view path, bool deep) {
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

void MirroredTree::Remember(std::uint64_t reference, const FolderEntry& entry) {
    Rebind(reference, entry.id);
    known_[reference].lastWrite = entry.lastWrite;
}

void MirroredTree::Rebind(std::uint64_t reference, std::uint64_t realId) {
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

void MirroredTree::Forget(std::uint64_t reference) {
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
