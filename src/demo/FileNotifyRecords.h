#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "demo/FolderChange.h"

// FILE_NOTIFY_INFORMATION records, as ReadDirectoryChangesW fills its buffer: each a
// 32-bit offset of the next record (0 for the last), the action, the name's length in
// bytes, then the name in UTF-16 without a terminating zero.
namespace file_notify {

constexpr std::size_t kHeaderBytes = 12;

struct Parsed {
    std::vector<FolderChange> changes;
    // False when something could not be used: a record that does not fit, an offset that
    // goes backwards or out of the bytes, an unknown action, an empty or odd-length name.
    // What came before it is kept; what the bytes said after it is lost.
    bool complete = true;
};

// Reads the records with bounds checks; never trusts an offset or a length.
Parsed Parse(std::span<const std::uint8_t> bytes);

// The bytes the platform would give for these changes, each record 4-byte aligned.
std::vector<std::uint8_t> Encode(const std::vector<FolderChange>& changes);

}  // namespace file_notify
