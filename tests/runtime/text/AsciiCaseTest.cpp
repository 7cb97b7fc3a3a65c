#include "runtime/text/AsciiCase.h"

#include <gtest/gtest.h>

namespace {

struct CaseCase {
    const char* name;
    std::u16string_view text;
    std::u16string_view prefix;
    bool startsWith;
};

// Only the 26 ASCII letters fold: the units 0x20 apart that are not letters ("[" and "{",
// "@" and "`") and letters beyond ASCII stay apart.
const CaseCase kCases[] = {
    {"same", u"C:\\data", u"C:\\data", true},
    {"other_case", u"c:\\DATA\\sub", u"C:\\data", true},
    {"recycle_bin", u"C:\\$Recycle.Bin\\S-1\\x", u"C:\\$RECYCLE.BIN\\s-1\\", true},
    {"empty_prefix", u"abc", u"", true},
    {"both_empty", u"", u"", true},
    {"longer_prefix", u"C:", u"C:\\", false},
    {"other_letter", u"D:\\data", u"C:\\", false},
    {"brackets_are_no_letters", u"[x", u"{x", false},
    {"at_and_grave_are_no_letters", u"@", u"`", false},
    {"letters_beyond_ascii", u"\u00e9t\u00e9", u"\u00c9T\u00c9", false},
};

class AsciiCaseTable : public ::testing::TestWithParam<CaseCase> {};

TEST_P(AsciiCaseTable, FoldsAsciiLettersOnly) {
    const CaseCase& c = GetParam();
    EXPECT_EQ(StartsWithIgnoringAsciiCase(c.text, c.prefix), c.startsWith);
    EXPECT_EQ(EqualsIgnoringAsciiCase(c.text, c.prefix),
              c.startsWith && c.text.size() == c.prefix.size());
}

INSTANTIATE_TEST_SUITE_P(Table, AsciiCaseTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
