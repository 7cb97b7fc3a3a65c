#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/WatcherSlots.h"

// The kinds of change the console program reports, one per change slot of the engine.
enum class ChangeKind : std::uint8_t {
    Created,
    Deleted,
    Modified,
    Renamed,
    Recycled,
    Moved,
    Attributes,
    Other,
};

// The kinds a watch reports (--kinds). It selects by emptying the slots of the kinds left
// out: the engine skips an empty slot without any other effect.
class ChangeKindSet {
public:
    // The names --kinds takes, in the order of ChangeKind.
    static constexpr std::array<std::u16string_view, 8> kNames = {
        u"created",  u"deleted", u"modified",   u"renamed",
        u"recycled", u"moved",   u"attributes", u"other"};

    static ChangeKindSet All();
    // The kind of a name, its ASCII letters in any case; nothing for an unknown name.
    static std::optional<ChangeKind> Named(std::u16string_view name);

    void Add(ChangeKind kind) { bits_ |= Bit(kind); }
    bool Has(ChangeKind kind) const { return (bits_ & Bit(kind)) != 0; }
    bool IsEmpty() const { return bits_ == 0; }
    // The slots with those of the kinds not in the set emptied; OnStarted stays.
    WatcherSlots Select(WatcherSlots slots) const;

    friend bool operator==(const ChangeKindSet&, const ChangeKindSet&) = default;

private:
    static std::uint8_t Bit(ChangeKind kind) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
    }

    std::uint8_t bits_ = 0;
};
