#pragma once

#include <cstdint>
#include <string>

// What a simulated volume knows of one of its files.
struct SimFileInfo {
    std::uint64_t reference = 0;
    std::uint64_t parent = 0;  // of the first name
    std::u16string name;       // the first name
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    std::int64_t lastUsn = 0;
    int links = 0;
    int openHandles = 0;
};
