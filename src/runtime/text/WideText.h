#pragma once

#include <string>
#include <string_view>

#include "runtime/text/CWString.h"

// Texts handed to and taken from Win32 calls (the Windows builds only). The platform's
// wide characters are UTF-16 code units, as CWString's are: a cast, never a conversion.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline const wchar_t* Wide(const CWString& text) {
    return Wide(text.Chars());
}
inline std::wstring WideString(std::u16string_view text) {
    return std::wstring(Wide(text.data()), text.size());
}
inline const char16_t* Utf16(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}
inline std::u16string Utf16String(std::wstring_view text) {
    return std::u16string(Utf16(text.data()), text.size());
}
