#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The kinds of what the engine reports: changes of files first, then notices about the
// watch itself. Everything that names a kind reads it from the table below, so that a new
// kind is one entry here, one row there, its label and its JSON shape, and the
// classifier's decision.
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

constexpr std::size_t kChangeKindCount = static_cast<std::size_t>(ChangeKind::Ended) + 1;

constexpr std::size_t IndexOf(ChangeKind kind) {
    return static_cast<std::size_t>(kind);
}

// How each kind is named: the engine's slot, the monitor's event, and the console's
// --kinds word (none for a notice, which every output shows).
struct ChangeKindNames {
    ChangeKind kind;
    std::string_view slot;
    std::string_view event;
    std::u16string_view option;
};

inline constexpr std::array<ChangeKindNames, kChangeKindCount> kChangeKinds = {{
    {ChangeKind::Created, "OnCreated", "FileCreated", u"created"},
    {ChangeKind::Deleted, "OnDeleted", "FileDeleted", u"deleted"},
    {ChangeKind::ContentChanged, "OnContentChanged", "FileContentChanged", u"modified"},
    {ChangeKind::Renamed, "OnRenamed", "FileRenamed", u"renamed"},
    {ChangeKind::Recycled, "OnRecycled", "FileRecycled", u"recycled"},
    {ChangeKind::Moved, "OnMoved", "FileMoved", u"moved"},
    {ChangeKind::AttributesChanged, "OnAttributesChanged", "FileAttributesChanged", u"attributes"},
    {ChangeKind::Other, "OnOtherChange", "FileOtherChange", u"other"},
    {ChangeKind::Started, "OnStarted", "WatchStarted", u""},
    {ChangeKind::Gap, "OnGap", "JournalGap", u""},
    {ChangeKind::Ended, "OnEnded", "WatchEnded", u""},
}};

constexpr const ChangeKindNames& NamesOf(ChangeKind kind) {
    return kChangeKinds[IndexOf(kind)];
}

// Whether the kind reports no change of a file but something about the watch itself.
constexpr bool IsNotice(ChangeKind kind) {
    return NamesOf(kind).option.empty();
}

static_assert(
    [] {
        for (std::size_t i = 0; i < kChangeKindCount; ++i) {
            if (IndexOf(kChangeKinds[i].kind) != i) {
                return false;
            }
        }
        return true;
    }(),
    "one row for every kind, in the order of the enumeration");
