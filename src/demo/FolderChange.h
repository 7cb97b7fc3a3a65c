#pragma once

#include <cstdint>
#include <string>

// What ReadDirectoryChangesW reports for one name (FILE_ACTION_*).
enum class FolderAction : std::uint32_t {
    kAdded = 1,
    kRemoved = 2,
    kModified = 3,
    kRenamedOldName = 4,
    kRenamedNewName = 5,
};

// One notification: an action and the path it names, relative to the watched folder
// ("sub\a.txt").
struct FolderChange {
    FolderAction action = FolderAction::kModified;
    std::u16string path;

    bool operator==(const FolderChange&) const = default;
};
