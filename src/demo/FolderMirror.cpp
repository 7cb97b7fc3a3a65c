#include "demo/FolderMirror.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "demo/FileNotifyRecords.h"
#include "demo/MirrorPaths.h"
#include "engine/StopSignal.h"
#include "sim/SimNames.h"

using mirror_paths::IsBelow;
using mirror_paths::IsUsable;
using mirror_paths::ParentOf;

namespace {

// Names Windows shortens to 8.3 carry a tilde there.
bool MayHoldShortNames(std::u16string_view path) {
    return path.find(u'~') != std::u16string_view::npos;
}

// Notifications that follow a removed name closely enough to be the other half of a
// move between directories.
constexpr std::size_t kMoveLookahead = 16;

constexpr std::int64_t Ticks(unsigned milliseconds) {
    return std::int64_t{milliseconds} * 10000;
}

}  // namespace

FolderMirror::FolderMirror(SimVolume& volume, FolderPlatform& folder)
    : volume_(volume), folder_(folder), tree_(volume, folder) {}

void FolderMirror::Prepare() {
    // The watch first: what changes while the tree is copied is kept for the first read.
    StartWatch();
    tree_.CopyBelow(tree_.MakeRoot(), u"", false);
}

void FolderMirror::Run(StopSignal& stop) {
    while (!stop.IsSet()) {
        Step(stop);
    }
}

void FolderMirror::Step(StopSignal& stop) {
    stop_ = &stop;
    tree_.SetStop(&stop);
    if (watching_) {
        ReadOnce();
    } else if (Now() < nextRestart_) {
        stop.WaitFor(kWaitMs);
    } else if (StartWatch()) {
        Rescan();
    }
    tree_.SetStop(nullptr);
    stop_ = nullptr;
}

std::int64_t FolderMirror::Now() const {
    return volume_.Clock().FileTime();
}

bool FolderMirror::StartWatch() {
    watching_ = folder_.StartWatch();
    FolderEntry folder;
    folderId_ = watching_ && folder_.Stat(u"", folder) ? folder.id : 0;
    nextFolderCheck_ = Now() + Ticks(kRestartMs);
    if (!watching_) {
        LoseWatch();
    }
    return watching_;
}

void FolderMirror::LoseWatch() {
    watching_ = false;
    nextRestart_ = Now() + Ticks(kRestartMs);
}

void FolderMirror::CheckTheFolder() {
    // A watch outlives its folder quietly where the folder is deleted (under Wine it then
    // reports nothing, also once a folder of the same name is made again): a folder that
    // is gone or another one is watched afresh.
    nextFolderCheck_ = Now() + Ticks(kRestartMs);
    FolderEntry folder;
    if (!folder_.Stat(u"", folder) ||
        (folderId_ != 0 && folder.id != 0 && folder.id != folderId_)) {
        LoseWatch();
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
            if (Now() >= nextFolderCheck_) {
                CheckTheFolder();
            }
            break;
        case FolderReadStatus::kFailed:
            Settle();
            LoseWatch();
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
    tree_.Reconcile(tree_.Root(), u"", true);
}

void FolderMirror::Added(const std::u16string& notified, Batch* batch, std::size_t index) {
    const std::u16string path = LongForm(notified);
    std::optional<FolderEntry> now;
    if (batch != nullptr) {
        now = LookedAt(*batch, index);
    } else if (FolderEntry entry; StatOf(path, entry)) {
        now = entry;
    }
    if (const std::uint64_t existing = tree_.Find(path); existing != 0) {
        // Already there: copied after the watch began, or named twice.
        if (now) {
            tree_.Refresh(existing, path, *now);
        }
        return;
    }
    if (!IsUsable(path)) {
        return;
    }
    const std::uint64_t parent = tree_.EnsureDirectory(ParentOf(path));
    if (parent == 0) {
        return;
    }
    if (!now) {
        tree_.Create(parent, path, Vanished(path, batch, index));
        return;
    }
    if (const std::uint64_t known = tree_.ReferenceOfRealId(now->id); known != 0) {
        // A file the mirror holds under another name: the same file named in another
        // letter case, a move whose removed half comes later, or a further name (a hard
        // link) of a file that keeps its first one.
        if (const std::optional<std::u16string> oldPath = tree_.PathInMirror(known)) {
            FolderEntry atOldPath;
            if (sim_names::Equal(*oldPath, path)) {
                tree_.Refresh(known, *oldPath, *now);
                return;
            }
            if (!StatOf(*oldPath, atOldPath) || atOldPath.id != now->id) {
                tree_.Move(known, path, now);
                return;
            }
        }
    }
    tree_.Create(parent, path, *now);
}

void FolderMirror::Removed(const std::u16string& path, Batch* batch, std::size_t index) {
    const std::uint64_t reference = tree_.Find(path);
    if (reference == 0) {
        if (MayHoldShortNames(path)) {
            // Perhaps a short name of something the mirror holds by its long name.
            if (const std::uint64_t directory = tree_.Find(ParentOf(path)); directory != 0) {
                tree_.Reconcile(directory, ParentOf(path), false);
            }
        }
        return;
    }
    const std::uint64_t realId = tree_.RealIdOf(reference);
    if (batch != nullptr && realId != 0) {
        // Windows reports a move between directories as a removed and an added name.
        const std::size_t end = std::min(batch->changes.size(), index + 1 + kMoveLookahead);
        for (std::size_t j = index + 1; j < end; ++j) {
            if (batch->consumed[j] || batch->changes[j].action != FolderAction::kAdded) {
                continue;
            }
            const std::optional<FolderEntry>& added = LookedAt(*batch, j);
            if (added && added->id == realId) {
                batch->consumed[j] = true;
                tree_.Move(reference, LongForm(batch->changes[j].path), added);
                return;
            }
        }
    }
    tree_.Delete(reference);
}

void FolderMirror::Modified(const std::u16string& notified, Batch* batch, std::size_t index) {
    const std::u16string path = LongForm(notified);
    const std::uint64_t reference = tree_.Find(path);
    FolderEntry entry;
    const bool there = batch != nullptr ? LookedAt(*batch, index).has_value() : StatOf(path, entry);
    if (reference == 0) {
        if (there) {
            Added(notified, batch, index);  // its added name went unseen
        }
        return;
    }
    if (there) {
        tree_.Refresh(reference, path, batch != nullptr ? *LookedAt(*batch, index) : entry);
    }
}

void FolderMirror::Renamed(const std::u16string& from, const std::u16string& notifiedTo) {
    const std::u16string to = LongForm(notifiedTo);
    const std::uint64_t reference = tree_.Find(from);
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
    tree_.Move(reference, to, now);
}

// ---- The folder

bool FolderMirror::StatOf(std::u16string_view path, FolderEntry& entry) {
    return folder_.Stat(path, entry);
}

std::u16string FolderMirror::LongForm(const std::u16string& path) {
    if (!MayHoldShortNames(path) || tree_.Find(path) != 0) {
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
