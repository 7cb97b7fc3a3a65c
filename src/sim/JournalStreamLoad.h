#pragma once

#include <cstddef>

#include "sim/JournalStreamScanner.h"

// What loading a raw $J stream did: what the scan found and which records were placed.
struct JournalStreamLoad {
    JournalStreamScanner::Counts scanned;
    std::size_t loaded = 0;  // version-2 records placed at their own Usn
    std::size_t badUsn = 0;  // version-2 records left out: their Usn goes back or is too large
};
