#pragma once

#include <cstdint>
#include <map>

// Parent of every directory of the volume, by file reference number (all 64 bits).
// Only directories are entered. Entries are never changed in place: an insert keeps the
// first entry of a key; a move is an erase followed by an insert.
class FileRecordIndex {
public:
    // Inserts directory -> parent unless the directory is already there.
    void Insert(std::uint64_t directory, std::uint64_t parent) {
        parents_.emplace(directory, parent);
    }
    void Erase(std::uint64_t directory) { parents_.erase(directory); }
    // A directory that got a new parent.
    void Repoint(std::uint64_t directory, std::uint64_t parent) {
        parents_.erase(directory);
        parents_.emplace(directory, parent);
    }
    // The parent of a known directory; false for one the index does not hold.
    bool FindParent(std::uint64_t directory, std::uint64_t& parent) const {
        const auto it = parents_.find(directory);
        if (it == parents_.end()) {
            return false;
        }
        parent = it->second;
        return true;
    }
    std::size_t Size() const { return parents_.size(); }

private:
    std::map<std::uint64_t, std::uint64_t> parents_;
};
