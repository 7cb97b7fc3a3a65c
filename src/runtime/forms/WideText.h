#pragma once

#include "runtime/text/CWString.h"

// The platform's wide characters are UTF-16 code units, as CWString's are.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline const wchar_t* Wide(const CWString& text) {
    return Wide(text.Chars());
}
inline const char16_t* Utf16(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}
