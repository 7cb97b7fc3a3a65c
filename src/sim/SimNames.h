#pragma once

#include <cstdint>
#include <string_view>

// File names as NTFS on Windows treats them: kept as written, compared and ordered by
// their upper-case form (the volume's upcase table; here its alphabetic ranges: Latin,
// Greek, Cyrillic, full-width Latin), checked against the characters Win32 refuses.
namespace sim_names {

char16_t Upcase(char16_t unit);
bool Equal(std::u16string_view a, std::u16string_view b);
// The order of a directory index: upper-case code units compared as numbers.
int Compare(std::u16string_view a, std::u16string_view b);
// A hash of the name's upper-case form within its parent directory.
std::uint32_t Hash(std::uint32_t parent, std::u16string_view name);
// 1 to 255 units, none of \ / : * ? " < > | nor a control character, not "." or "..".
bool IsValid(std::u16string_view name);
// From the last dot on ("" without a dot), as the recycle bin keeps it.
std::u16string_view Extension(std::u16string_view name);

}  // namespace sim_names
