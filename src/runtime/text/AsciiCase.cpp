#include "runtime/text/AsciiCase.h"

bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (FoldAsciiLetter(text[i]) != FoldAsciiLetter(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && StartsWithIgnoringAsciiCase(a, b);
}
