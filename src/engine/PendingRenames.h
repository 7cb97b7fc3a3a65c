#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <unordered_map>

#include "runtime/text/CWString.h"

// The old halves of renames seen in one journal pass, waiting for the closing record of
// the same file (the halves of renames of different files interleave, for instance when
// an editor saves through a temporary file). Keyed by the full 64-bit file reference
// number. Bounded: beyond the capacity the oldest entry is dropped, so a pass that sees
// old names whose closes never come cannot grow without end.
class PendingRenames {
public:
    struct OldName {
        CWString name;
        std::uint64_t parent = 0;
    };

    static constexpr std::size_t kDefaultCapacity = 4096;

    explicit PendingRenames(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    // Holds the old name of `file`, replacing an older one of the same file.
    void Hold(std::uint64_t file, OldName oldName);
    // Removes and answers the old name held for `file`, if any.
    std::optional<OldName> Take(std::uint64_t file);
    void Clear();
    std::size_t Size() const { return byFile_.size(); }

private:
    struct Entry {
        std::uint64_t file;
        OldName oldName;
    };

    std::size_t capacity_;
    std::list<Entry> oldestFirst_;
    std::unordered_map<std::uint64_t, std::list<Entry>::iterator> byFile_;
};
