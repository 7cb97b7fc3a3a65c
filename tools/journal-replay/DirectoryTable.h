#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The directories of a real volume, as the replay needs them: for the enumeration, for
// the file ids of watched paths and for the names of directories asked by id.
class DirectoryTable {
public:
    struct Entry {
        std::uint64_t frn = 0;
        std::uint64_t parent = 0;
        std::uint32_t attributes = 0;
        std::u16string name;  // empty for the root, which is its own parent
    };

    // Tab-separated lines: frn, parent (0x-prefixed 64-bit hex), attributes (hex), name
    // (UTF-8, the last column). False with a message on a malformed line.
    bool LoadTsv(const std::string& path, std::string& error);
    // Directories in use of a raw $MFT extract, read with libfsntfs, the Win32 name
    // preferred over the DOS one.
    bool LoadMft(const std::string& path, std::string& error);

    const std::vector<Entry>& Entries() const { return entries_; }

private:
    std::vector<Entry> entries_;
};
