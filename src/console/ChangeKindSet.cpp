#include "console/ChangeKindSet.h"

#include "runtime/text/AsciiCase.h"

ChangeKindSet ChangeKindSet::All() {
    ChangeKindSet all;
    for (const ChangeKindNames& names : kChangeKinds) {
        if (!IsNotice(names.kind)) {
            all.Add(names.kind);
        }
    }
    return all;
}

std::optional<ChangeKind> ChangeKindSet::Named(std::u16string_view name) {
    for (const ChangeKindNames& names : kChangeKinds) {
        if (!names.option.empty() && EqualsIgnoringAsciiCase(name, names.option)) {
            return names.kind;
        }
    }
    return std::nullopt;
}
