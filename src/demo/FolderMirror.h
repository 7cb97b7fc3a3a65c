#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "demo/ActivitySource.h"
#include "demo/FolderChange.h"
#include "demo/FolderEntry.h"
#include "demo/FolderPlatform.h"
#include "sim/SimVolume.h"

// Keeps C:\demo\ of a simulated volume the same as a real folder, so that every change a
// program makes in the folder reaches the volume's change journal as the records NTFS
// writes for it. Prepare copies the folder's tree as entries that were there before the
// journal (no records); from then on each notification of the folder's watch becomes the
// operation NTFS would record:
//
//   added              create (a directory with what it already holds; a file written
//                      to its size, in the create's handle)
//   modified           extend, truncate and rewrite, or overwrite the data by the new size
//                      and write time; change the attributes
//   renamed old + new  one rename, within a directory or into another (a move)
//   removed            delete, everything below a directory first; a removed name whose
//                      file reappears under another name right after (how Windows reports
//                      a move between directories) is a move
//
// The real folder decides the details: each name is looked at when its notification is
// applied, files are known by their file index, and what the folder no longer holds is
// taken from the rest of the batch (a file created and renamed at once is created under
// its first name). Lost notifications (an overflow, records that cannot be read, a watch
// that ended, a folder deleted or replaced under its watch) lead to a rescan that applies
// the differences once the folder can be watched again. Names the volume cannot hold
// and entries that cannot be looked at are left out. The mirror only reads the folder.
//
// One thread at a time: Prepare, then Run (or the steps, in tests).
class FolderMirror final : public ActivitySource {
public:
    static constexpr std::u16string_view kMirrorPath = u"\\demo";
    // How long one wait for notifications lasts; the pause before a watch that ended is
    // started again, and between two looks at whether the folder is still the watched one.
    static constexpr unsigned kWaitMs = 50;
    static constexpr unsigned kRestartMs = 1000;

    FolderMirror(SimVolume& volume, FolderPlatform& folder);

    void Prepare() override;
    void Run(StopSignal& stop) override;

    // ---- The steps of Run
    // Applies one read's notifications; a last one that may be the first half of a rename
    // or a move waits for the next read.
    void Apply(const std::vector<FolderChange>& read);
    // Nothing more came: a first half still waiting is a name that left the folder.
    void Settle();
    // Makes the mirror the same as the folder, with the records of the differences.
    void Rescan();

    std::uint64_t MirrorDirectory() const { return mirror_; }
    bool Watching() const { return watching_; }

private:
    struct Known {
        std::uint64_t realId = 0;
        std::int64_t lastWrite = 0;
    };
    // One read's notifications while they are applied.
    struct Batch {
        const std::vector<FolderChange>& changes;
        std::vector<bool> consumed;
        std::vector<std::optional<FolderEntry>> looked;  // Stat of a path, once asked
        std::vector<bool> askedStat;
    };

    void ReadOnce();
    bool StartWatch();
    void CheckTheFolder();
    bool Stopping() const;

    void Added(const std::u16string& path, Batch* batch, std::size_t index);
    void Removed(const std::u16string& path, Batch* batch, std::size_t index);
    void Modified(const std::u16string& path, Batch* batch, std::size_t index);
    void Renamed(const std::u16string& from, const std::u16string& to);

    // The entry at a relative path, its name matching exactly; 0 when there is none.
    std::uint64_t Find(std::u16string_view path) const;
    // The directory at a relative path, made (from the folder) with its missing
    // ancestors when the folder has it; 0 when it cannot be had.
    std::uint64_t EnsureDirectory(std::u16string_view path);
    std::uint64_t Create(std::uint64_t parent, std::u16string_view path, const FolderEntry& entry);
    void Move(std::uint64_t reference, std::u16string_view to,
              const std::optional<FolderEntry>& now);
    void Refresh(std::uint64_t reference, std::u16string_view path, const FolderEntry& entry);
    void Delete(std::uint64_t reference);
    // The entries below a directory of the folder, parents first: copied as they were
    // before the journal (Prepare) or created with records.
    void CopyBelow(std::uint64_t directory, std::u16string_view path, bool withRecords);
    // Applies the differences between a directory of the folder and its mirror; with
    // `deep`, those of every directory below too.
    void Reconcile(std::uint64_t directory, std::u16string_view path, bool deep);

    bool StatOf(std::u16string_view path, FolderEntry& entry);
    // A path whose notification named a short (8.3) name, in its long form.
    std::u16string LongForm(const std::u16string& path);
    // What a path named when the folder no longer has it: the entry it became through the
    // renames later in the batch, or a guess (a directory when the batch names something
    // below it, a file otherwise).
    FolderEntry Vanished(const std::u16string& path, Batch* batch, std::size_t index);
    const std::optional<FolderEntry>& LookedAt(Batch& batch, std::size_t index);

    void Remember(std::uint64_t reference, const FolderEntry& entry);
    void Rebind(std::uint64_t reference, std::uint64_t realId);
    void Forget(std::uint64_t reference);

    SimVolume& volume_;
    FolderPlatform& folder_;
    std::uint64_t mirror_ = 0;
    bool watching_ = false;
    std::uint64_t folderId_ = 0;  // the folder's file index when its watch started
    std::chrono::steady_clock::time_point nextFolderCheck_;
    std::optional<FolderChange> carried_;             // into the next read
    StopSignal* stop_ = nullptr;                      // while Run runs: long copies end early
    std::unordered_map<std::uint64_t, Known> known_;  // by simulated reference
    std::unordered_map<std::uint64_t, std::uint64_t> byId_;  // real id → simulated reference
    std::vector<std::uint8_t> bytes_;
};
