#include "console/ChangeKindSet.h"

namespace {

char16_t Lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
}

bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

ChangeKindSet ChangeKindSet::All() {
    ChangeKindSet all;
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        all.Add(static_cast<ChangeKind>(i));
    }
    return all;
}

std::optional<ChangeKind> ChangeKindSet::Named(std::u16string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (EqualIgnoringAsciiCase(name, kNames[i])) {
            return static_cast<ChangeKind>(i);
        }
    }
    return std::nullopt;
}

WatcherSlots ChangeKindSet::Select(WatcherSlots slots) const {
    const auto keep = [this](ChangeKind kind, auto& slot) {
        if (!Has(kind)) {
            slot = nullptr;
        }
    };
    keep(ChangeKind::Created, slots.OnCreated);
    keep(ChangeKind::Deleted, slots.OnDeleted);
    keep(ChangeKind::Modified, slots.OnContentChanged);
    keep(ChangeKind::Renamed, slots.OnRenamed);
    keep(ChangeKind::Recycled, slots.OnRecycled);
    keep(ChangeKind::Moved, slots.OnMoved);
    keep(ChangeKind::Attributes, slots.OnAttributesChanged);
    keep(ChangeKind::Other, slots.OnOtherChange);
    return slots;
}
