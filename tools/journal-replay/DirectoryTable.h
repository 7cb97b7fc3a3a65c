#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SimVolume;

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

    struct Placement {
        std::size_t placed = 0;
        // No parent in the table, or a name its directory already holds; with everything
        // below them.
        std::size_t leftOut = 0;
    };

    // Tab-separated lines: frn, parent (0x-prefixed 64-bit hex), attributes (hex), name
    // (UTF-8, the last column); the root is the line whose parent is itself, with an
    // empty name. A first line naming the columns is allowed. False with a message
    // naming the line when one is malformed.
    bool LoadTsv(const std::string& path, std::string& error);
    // Directories in use of a raw $MFT extract, read with libfsntfs, the Win32 name
    // preferred over the DOS one.
    bool LoadMft(const std::string& path, std::string& error);

    // Enters the directories into the volume at their own reference numbers, each after
    // its parent, the volume's own system directories ($Extend and below) included; the
    // root is the volume's own.
    Placement PlaceInto(SimVolume& volume) const;

    const std::vector<Entry>& Entries() const { return entries_; }

private:
    std::vector<Entry> entries_;
};
