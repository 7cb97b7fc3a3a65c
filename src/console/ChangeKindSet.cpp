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
