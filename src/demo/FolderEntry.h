#pragma once

#include <cstdint>
#include <string>

#include "ntfs/JournalRecords.h"

// What the platform tells of one file or directory of a real folder.
struct FolderEntry {
    std::u16string name;  // as its directory lists it; empty when asked for by path
    // The file's identity on its volume (the file index); 0 when it could not be had.
    std::uint64_t id = 0;
    std::uint32_t attributes = 0;  // FILE_ATTRIBUTE_*
    std::uint64_t size = 0;
    std::int64_t lastWrite = 0;  // FILETIME

    bool IsDirectory() const { return (attributes & ntfs::kAttributeDirectory) != 0; }
    // A symbolic link or junction: listed, never entered.
    bool IsReparsePoint() const { return (attributes & kAttributeReparsePoint) != 0; }

    static constexpr std::uint32_t kAttributeReparsePoint = 0x400;
};
