#pragma once

// The simulated volume at the size of a real system volume, for the benchmarks: by default
// a million entries, 200,000 of them directories (1,000 top directories, the others spread
// evenly below them), four files in every directory.

#include <cstdint>
#include <string>
#include <vector>

#include "ntfs/JournalRecords.h"
#include "sim/SimVolume.h"

namespace large_volume {

constexpr int kDirectories = 200000;
constexpr int kFilesPerDirectory = 4;

inline std::u16string NameOf(const char16_t* stem, int i) {
    std::u16string name(stem);
    for (const char digit : std::to_string(i)) {
        name += static_cast<char16_t>(digit);
    }
    return name;
}

// A directory's name of exactly `units` UTF-16 units: "folder" and its number padded with
// zeros, for a benchmark that asks names of a given length. Numbers too long for it keep
// their digits.
inline std::u16string FolderNameOf(int i, std::size_t units) {
    std::u16string name = NameOf(u"folder", i);
    constexpr std::size_t kStem = 6;
    if (name.size() < units) {
        name.insert(kStem, units - name.size(), u'0');
    }
    return name;
}

// With `directoryNameUnits`, every directory's name is that long ("folder000123");
// without, "directory N".
inline void Populate(SimVolume& volume, int directoryCount = kDirectories,
                     int filesPerDirectory = kFilesPerDirectory,
                     std::size_t directoryNameUnits = 0) {
    std::vector<std::uint64_t> directories;
    directories.reserve(static_cast<std::size_t>(directoryCount));
    for (int i = 0; i < directoryCount; ++i) {
        const std::uint64_t parent = i < 1000 ? SimVolume::kRoot : directories[i % 1000];
        const std::u16string name = directoryNameUnits == 0 ? NameOf(u"directory ", i)
                                                            : FolderNameOf(i, directoryNameUnits);
        directories.push_back(volume.AddExisting(parent, name, ntfs::kAttributeDirectory));
    }
    for (int i = 0; i < directoryCount * filesPerDirectory; ++i) {
        volume.AddExisting(directories[i % directoryCount], NameOf(u"document ", i) + u".txt");
    }
}

}  // namespace large_volume
