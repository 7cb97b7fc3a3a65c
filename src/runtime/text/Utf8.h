#pragma once

#include <string>
#include <string_view>

#include "CWString.h"

// Conversions at the edges of the portable code (tools, tests, file names on Linux).
// Unpaired surrogates and invalid UTF-8 become U+FFFD.
std::string ToUtf8(std::u16string_view text);
inline std::string ToUtf8(const CWString& text) {
    return ToUtf8(text.View());
}
std::u16string FromUtf8(std::string_view text);
// Appends one code point (at most U+10FFFF, no surrogate) as its UTF-8 bytes.
void AppendCodePointAsUtf8(std::string& out, char32_t codePoint);
