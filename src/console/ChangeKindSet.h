#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "report/FileChange.h"

// The kinds of change a watch reports (--kinds). Notices (the start of a watch) are no
// kind of change and always pass.
class ChangeKindSet {
public:
    // The names --kinds takes, in the order of ChangeKind's changes.
    static constexpr std::array<std::u16string_view, 8> kNames = {
        u"created",  u"deleted", u"modified",   u"renamed",
        u"recycled", u"moved",   u"attributes", u"other"};
    static_assert(kNames.size() == static_cast<std::size_t>(ChangeKind::Started),
                  "one name for every kind of change");

    static ChangeKindSet All();
    // The kind of a name, its ASCII letters in any case; nothing for an unknown name.
    static std::optional<ChangeKind> Named(std::u16string_view name);

    void Add(ChangeKind kind) { bits_ |= Bit(kind); }
    bool Has(ChangeKind kind) const { return (bits_ & Bit(kind)) != 0; }
    bool IsEmpty() const { return bits_ == 0; }
    // Whether a change of this kind is reported.
    bool Wants(ChangeKind kind) const { return IsNotice(kind) || Has(kind); }

    friend bool operator==(const ChangeKindSet&, const ChangeKindSet&) = default;

private:
    static std::uint8_t Bit(ChangeKind kind) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
    }

    std::uint8_t bits_ = 0;
};
