#pragma once

#include <cstdint>
#include <string>

#include "engine/WatchNotices.h"

// What the engine reported, as one value: the kind and every argument of the engine's
// call by name. Programs, tools and tests consume this value; the engine's slots, the
// monitor's events and the window's handlers keep their own shapes.
enum class ChangeKind : std::uint8_t {
    Created,
    Deleted,
    ContentChanged,
    Renamed,   // a new name in the same directory
    Recycled,  // moved into the recycle bin
    Moved,     // to another directory
    AttributesChanged,
    Other,
    // Notices: no change of a file, never filtered away.
    Started,  // the watch's journal reading began
    Gap,      // records the reader had not reached are gone (why: a JournalGap)
    Ended,    // the watch ended by itself (why: a WatchEnd)
};

constexpr int kChangeKindCount = static_cast<int>(ChangeKind::Ended) + 1;

// Whether the kind reports no change of a file but something about the watch itself.
constexpr bool IsNotice(ChangeKind kind) {
    return kind >= ChangeKind::Started;
}

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
