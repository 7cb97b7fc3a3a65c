#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "demo/FolderEntry.h"

// How a wait for a folder's changes ended.
enum class FolderReadStatus {
    kChanges,   // the bytes hold FILE_NOTIFY_INFORMATION records
    kOverflow,  // changes were lost: zero bytes, or ERROR_NOTIFY_ENUM_DIR
    kQuiet,     // nothing changed within the wait
    kFailed,    // the watch ended (the folder is gone, the handle failed); start it again
};

// The real folder as the mirror reaches it: the platform calls and nothing else. Paths
// are relative to the folder ("" for the folder itself, "sub\a.txt"). Nothing here writes
// to the folder. Used by one thread at a time.
class FolderPlatform {
public:
    virtual ~FolderPlatform() = default;

    // The entries of a directory, "." and ".." left out; false when it cannot be listed.
    virtual bool List(std::u16string_view directory, std::vector<FolderEntry>& entries) = 0;
    // One entry; false when it is not there (any more) or cannot be looked at.
    virtual bool Stat(std::u16string_view path, FolderEntry& entry) = 0;
    // Starts reporting the changes below the folder, subfolders included; changes that
    // happen from then on are kept for ReadChanges. False when the folder cannot be watched.
    // (Under Wine a subfolder that existed before is watched only once something has
    // opened it: list the tree after starting the watch.)
    virtual bool StartWatch() = 0;
    // Waits up to `milliseconds` for changes and hands over their bytes.
    virtual FolderReadStatus ReadChanges(std::vector<std::uint8_t>& bytes,
                                         unsigned milliseconds) = 0;
    // The long form of a path that may hold short (8.3) names; empty when there is none.
    virtual std::u16string LongPath(std::u16string_view path) = 0;
};
