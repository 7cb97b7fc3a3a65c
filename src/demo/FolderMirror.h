#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/ActivitySource.h"
#include "demo/FolderChange.h"
#include "demo/FolderEntry.h"
#include "demo/FolderPlatform.h"
#include "demo/MirroredTree.h"
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
// Time comes from the volume's clock (the machine's real time in the demonstration, a
// clock that stands still unless told in tests). One thread at a time: Prepare, then Run
// (or its steps, in tests).
class FolderMirror final : public ActivitySource {
public:
    static constexpr std::u16string_view kMirrorPath = MirroredTree::kMirrorPath;
    // How long one wait for notifications lasts; the pause before a watch that ended is
    // started again, and between two looks at whether the folder is still the watched one.
    static constexpr unsigned kWaitMs = 50;
    static constexpr unsigned kRestartMs = 1000;

    FolderMirror(SimVolume& volume, FolderPlatform& folder);

    void Prepare() override;
    void Run(StopSignal& stop) override;

    // ---- The steps of Run
    // One turn of Run: one read of the watch and what it returned applied, or, without a
    // watch, a new one once the pause after the last has passed (a short wait otherwise).
    void Step(StopSignal& stop);
    // Applies one read's notifications; a last one that may be the first half of a rename
    // or a move waits for the next read.
    void Apply(const std::vector<FolderChange>& read);
    // Nothing more came: a first half still waiting is a name that left the folder.
    void Settle();
    // Makes the mirror the same as the folder, with the records of the differences.
    void Rescan();

    std::uint64_t MirrorDirectory() const { return tree_.Root(); }
    bool Watching() const { return watching_; }

private:
    // One read's notifications while they are applied.
    struct Batch {
        const std::vector<FolderChange>& changes;
        std::vector<bool> consumed;
        std::vector<std::optional<FolderEntry>> looked;  // Stat of a path, once asked
        std::vector<bool> askedStat;
    };

    void ReadOnce();
    bool StartWatch();
    void LoseWatch();
    void CheckTheFolder();
    bool Stopping() const;
    std::int64_t Now() const;

    void Added(const std::u16string& path, Batch* batch, std::size_t index);
    void Removed(const std::u16string& path, Batch* batch, std::size_t index);
    void Modified(const std::u16string& path, Batch* batch, std::size_t index);
    void Renamed(const std::u16string& from, const std::u16string& to);

    bool StatOf(std::u16string_view path, FolderEntry& entry);
    // A path whose notification named a short (8.3) name, in its long form.
    std::u16string LongForm(const std::u16string& path);
    // What a path named when the folder no longer has it: the entry it became through the
    // renames later in the batch, or a guess (a directory when the batch names something
    // below it, a file otherwise).
    FolderEntry Vanished(const std::u16string& path, Batch* batch, std::size_t index);
    const std::optional<FolderEntry>& LookedAt(Batch& batch, std::size_t index);

    SimVolume& volume_;
    FolderPlatform& folder_;
    MirroredTree tree_;
    bool watching_ = false;
    std::uint64_t folderId_ = 0;        // the folder's file index when its watch started
    std::int64_t nextFolderCheck_ = 0;  // FILETIME values of the volume's clock
    std::int64_t nextRestart_ = 0;
    std::optional<FolderChange> carried_;  // into the next read
    StopSignal* stop_ = nullptr;           // while a step runs: long work ends early
    std::vector<std::uint8_t> bytes_;
};
