#pragma once

#include <string_view>

// Comparisons that ignore the case of ASCII letters only, as the program's own names and
// keywords need: drive letters, "$RECYCLE.BIN", option words. (Names on a volume compare
// by the volume's own upcase table, which is not this.)

// 'a'..'z' as 'A'..'Z'; every other unit as it is.
constexpr char16_t FoldAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
}

constexpr bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix);
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);
