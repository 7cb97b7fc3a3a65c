#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FileRecordIndex.h"
#include "engine/PendingNames.h"
#include "engine/RecordKind.h"
#include "engine/VolumePlatform.h"
#include "engine/WatcherSlots.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/CWString.h"

// What classification reads of its engine while a worker runs. The watched set is absent
// without a directory filter; the index is there for every watch the engine runs (a test
// may leave it out: then every path is asked of the platform).
struct WatchScope {
    VolumePlatform& platform;
    PlatformHandle volume;
    std::u16string_view rootPath;  // "C:\"
    const std::set<std::uint64_t>* watchedDirs;
    FileRecordIndex* parentIndex;
    const WatcherSlots& slots;
};

// Turns each journal record into at most one change reported: only records that close a handle
// are reported, with all the reasons gathered while it was open; the old name before a
// file's first rename and a link its handle added are held until the closing record of
// the same file comes. Records are handled in journal order, and the directory index
// follows every directory record as it comes (a directory created or renamed brings its
// new name, one deleted leaves after its own record), so a path is the one the change was
// made under: the files of a deleted folder keep their folder, and a change made before
// its folder was renamed names the old path. Decides whether the change lies under a
// watched directory by the ancestry of its parent and picks the kind; a change of a kind
// nobody wants at the moment costs no path.
class ChangeClassifier {
public:
    // Deeper than any real volume's tree: a longer chain of parents is a loop.
    static constexpr int kMaxAncestry = 4096;
    // FILE_NAME_INFORMATION buffer of the first try of a path query; a longer path is asked
    // again with the room the platform said it needs.
    static constexpr std::uint32_t kNameBufferSize = 2080;
    // The most a path query may ask for: a path of 32,767 units (the platform's longest)
    // behind the name's length, with room to spare.
    static constexpr std::uint32_t kLongestNameQuery = 4 + 2 * 65536;
    // The name query needs no right of its own. This is the least an open asks for (what
    // CreateFileW asks for a handle without access), and whoever may list a directory's
    // parent has it, also where the directory's own rules deny listing it.
    static constexpr std::uint32_t kNameQueryAccess = file_access::kReadAttributes;

    explicit ChangeClassifier(const WatchScope& scope) : scope_(scope) {}

    void ClassifyRecord(const ntfs::UsnRecordV2& record);
    // A new journal pass forgets the names held from the last one.
    void BeginPass() { pendingNames_.Clear(); }

    // Whether the directory is watched or lies below a watched one (always, without a filter).
    bool IsInsideWatched(std::uint64_t directory) const;
    // Sets `path` to the directory's full path ending in "\": built from the index, or,
    // for a directory the index cannot name completely, asked of the platform by id.
    // Leaves it unchanged when neither can name it.
    void ResolveDirectoryPath(std::uint64_t directory, std::u16string& path);

    std::size_t PendingNameCount() const { return pendingNames_.Size(); }
    // How many directory paths were built: what a change nobody wants must not cost.
    std::uint64_t PathsBuilt() const { return pathsBuilt_; }

private:
    void FollowDirectory(const ntfs::UsnRecordV2& record, const ntfs::UsnRecordV2Header& h);
    void Report(const ntfs::UsnRecordV2& record, const ntfs::UsnRecordV2Header& h,
                const PendingNames::Held& held);
    bool PathFromIndex(std::uint64_t directory, std::u16string& path);
    void PathFromPlatform(std::uint64_t directory, std::u16string& path) const;
    bool IsRecycleFolder(std::u16string_view dir) const;

    WatchScope scope_;
    PendingNames pendingNames_;
    std::u16string recordName_;                   // a directory record's name, copied out
    std::vector<std::u16string_view> pathNames_;  // a path's names, the deepest first
    std::uint64_t pathsBuilt_ = 0;
};
