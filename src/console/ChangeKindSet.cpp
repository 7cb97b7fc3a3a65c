#include "console/ChangeKindSet.h"

#include "runtime/text/AsciiCase.h"

ChangeKindSet ChangeKindSet::All() {
    ChangeKindSet all;
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        all.Add(static_cast<ChangeKind>(i));
    }
    return all;
}

std::optional<ChangeKind> ChangeKindSet::Named(std::u16string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (EqualsIgnoringAsciiCase(name, kNames[i])) {
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
