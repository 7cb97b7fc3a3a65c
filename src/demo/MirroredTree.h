#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "demo/FolderEntry.h"
#include "demo/FolderPlatform.h"
#include "engine/StopSignal.h"
#include "sim/SimVolume.h"

// The copy of a real folder under C:\demo\ of a simulated volume, and the operations that
// keep it the same as the folder, each written to the volume as the NTFS operation it is:
// find, create (with what a directory holds), move, refresh (write, truncate, attributes),
// delete (everything below first), the copy below a directory and the reconciliation of a
// directory with the folder. Knows which real file each entry mirrors, by file index, so
// that a file that turns up under another name is known again. Paths are relative to the
// folder ("sub\a.txt"; "" the folder itself).
class MirroredTree {
public:
    static constexpr std::u16string_view kMirrorPath = u"\\demo";

    MirroredTree(SimVolume& volume, FolderPlatform& folder);

    // C:\demo\, made (without a record) when the volume has none.
    std::uint64_t MakeRoot();
    std::uint64_t Root() const { return root_; }
    // Long copies and reconciliations end early once `stop` is set; null: never.
    void SetStop(const StopSignal* stop) { stop_ = stop; }

    // The entry at a path, its name matching exactly; 0 when there is none.
    std::uint64_t Find(std::u16string_view path) const;
    // The directory at a path, made (from the folder) with its missing ancestors when the
    // folder has it; 0 when it cannot be had.
    std::uint64_t EnsureDirectory(std::u16string_view path);
    std::uint64_t Create(std::uint64_t parent, std::u16string_view path, const FolderEntry& entry);
    void Move(std::uint64_t reference, std::u16string_view to,
              const std::optional<FolderEntry>& now);
    void Refresh(std::uint64_t reference, std::u16string_view path, const FolderEntry& entry);
    void Delete(std::uint64_t reference);
    // The entries below a directory of the folder, parents first: copied as they were
    // before the journal (the start) or created with records.
    void CopyBelow(std::uint64_t directory, std::u16string_view path, bool withRecords);
    // Applies the differences between a directory of the folder and its mirror; with
    // `deep`, those of every directory below too.
    void Reconcile(std::uint64_t directory, std::u16string_view path, bool deep);

    // The entry that mirrors the real file `realId`; 0 for none.
    std::uint64_t ReferenceOfRealId(std::uint64_t realId) const;
    // The real file an entry mirrors; 0 when unknown.
    std::uint64_t RealIdOf(std::uint64_t reference) const;
    // The entry's path relative to the folder, when it lies below C:\demo\.
    std::optional<std::u16string> PathInMirror(std::uint64_t reference) const;

private:
    struct Known {
        std::uint64_t realId = 0;
        std::int64_t lastWrite = 0;
    };

    bool Stopping() const;
    void Remember(std::uint64_t reference, const FolderEntry& entry);
    void Rebind(std::uint64_t reference, std::uint64_t realId);
    void Forget(std::uint64_t reference);

    SimVolume& volume_;
    FolderPlatform& folder_;
    std::uint64_t root_ = 0;
    const StopSignal* stop_ = nullptr;
    std::unordered_map<std::uint64_t, Known> known_;         // by simulated reference
    std::unordered_map<std::uint64_t, std::uint64_t> byId_;  // real id → simulated reference
};
