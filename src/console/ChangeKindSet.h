#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/FileChange.h"

// The kinds of change a watch reports (--kinds). Notices (the start of a watch) are no
// kind of change and always pass.
class ChangeKindSet {
public:
    static ChangeKindSet All();
    // The kind of a --kinds word (kChangeKinds' option), its ASCII letters in any case;
    // nothing for an unknown word.
    static std::optional<ChangeKind> Named(std::u16string_view name);

    void Add(ChangeKind kind) { bits_ |= Bit(kind); }
    bool Has(ChangeKind kind) const { return (bits_ & Bit(kind)) != 0; }
    bool IsEmpty() const { return bits_ == 0; }
    // Whether a change of this kind is reported.
    bool Wants(ChangeKind kind) const { return IsNotice(kind) || Has(kind); }

    friend bool operator==(const ChangeKindSet&, const ChangeKindSet&) = default;

private:
    static std::uint32_t Bit(ChangeKind kind) { return 1u << IndexOf(kind); }
    static_assert(kChangeKindCount <= 32, "a bit for every kind");

    std::uint32_t bits_ = 0;
};
