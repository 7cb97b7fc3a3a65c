#pragma once

#include <cstdint>
#include <set>

#include "engine/FileRecordIndex.h"
#include "engine/PendingRenames.h"
#include "engine/VolumePlatform.h"
#include "engine/WatcherSlots.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/CWString.h"

// What classification reads of its engine while a worker runs. The watched set and the
// index are absent without a directory filter.
struct WatchScope {
    VolumePlatform& platform;
    PlatformHandle volume;
    const CWString& rootPath;
    const CWString& recyclePath;
    const std::set<std::uint64_t>* watchedDirs;
    FileRecordIndex* parentIndex;
    const WatcherSlots& slots;
};

// Turns each journal record into at most one slot call: only records that close a handle
// are reported, with all the reasons gathered while it was open; the old halves of
// renames are held until the closing record of the same file comes. Decides whether the
// change lies under a watched directory by the ancestry of its parent, keeps the directory
// index current, resolves directory paths by file id and picks the kind.
class ChangeClassifier {
public:
    // Deeper than any real volume's tree: a longer chain of parents is a loop.
    static constexpr int kMaxAncestry = 4096;
    // FILE_NAME_INFORMATION buffer of one path query.
    static constexpr std::uint32_t kNameBufferSize = 2080;
    // The name query needs no right of its own. This is the least an open asks for (what
    // CreateFileW asks for a handle without access), and whoever may list a directory's
    // parent has it, also where the directory's own rules deny listing it.
    static constexpr std::uint32_t kNameQueryAccess = file_access::kReadAttributes;

    explicit ChangeClassifier(const WatchScope& scope) : scope_(scope) {}

    void ClassifyRecord(const ntfs::UsnRecordV2& record);
    // A new journal pass forgets the old names held from the last one.
    void BeginPass() { pendingRenames_.Clear(); }

    // Whether the directory is watched or lies below a watched one (always, without a filter).
    bool IsInsideWatched(std::uint64_t directory) const;
    // Sets `path` to the directory's full path ending in "\"; leaves it unchanged when the
    // directory cannot be opened or named.
    void ResolveDirectoryPath(std::uint64_t directory, CWString& path) const;

    std::size_t PendingRenameCount() const { return pendingRenames_.Size(); }

private:
    void UpdateIndex(const ntfs::UsnRecordV2& record);
    bool IsRecycleFolder(const CWString& dir) const;

    WatchScope scope_;
    PendingRenames pendingRenames_;
};
