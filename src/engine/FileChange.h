#pragma once

#include <cstdint>
#include <string>

#include "engine/ChangeKind.h"
#include "engine/WatchNotices.h"

// What the engine reports, as one value: the kind and everything the journal record and
// the directory index told of it. The engine builds it once, for a kind someone wants;
// every consumer (the window, the console, the tools, the tests) reads it.
struct FileChange {
    ChangeKind kind = ChangeKind::Other;
    std::u16string name = {};     // the item's name (its new one after a rename or move)
    std::u16string dir = {};      // its directory, "C:\data\"; empty when it could not be resolved
    std::u16string oldName = {};  // renamed, recycled, moved: the name before; empty when unknown
    std::u16string oldDir = {};   // recycled, moved: the directory before
    std::u16string newPath = {};  // recycled: the item's path inside the recycle bin
    std::int64_t time = 0;        // the record's time stamp, a FILETIME value
    std::int64_t usn = 0;         // a change's record in the journal
    std::uint32_t attributes = 0;
    std::uint32_t reasons = 0;  // content, attribute and other changes: the reason mask
    // Notices: the volume's root ("C:\") is `dir`; why, a JournalGap or a WatchEnd value.
    int why = 0;
    // A gap: the first Usn lost and the one reading went on from.
    std::int64_t firstLostUsn = 0;
    std::int64_t resumeUsn = 0;

    friend bool operator==(const FileChange&, const FileChange&) = default;
};
