#include "runtime/text/CWString.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "runtime/text/CWConstString.h"
#include "runtime/text/Utf8.h"

namespace {

std::string U8(const CWString& s) {
    return ToUtf8(s);
}

TEST(CWString, EmptinessAndLengthOfEachForm) {
    CWString none;
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_EQ(none.Length(), 0);
    EXPECT_NE(none.Chars(), nullptr);
    EXPECT_EQ(none.Chars()[0], u'\0');

    CWConstString literal(u"C:\\");
    EXPECT_TRUE(literal.IsBorrowed());
    EXPECT_FALSE(literal.IsEmpty());
    EXPECT_EQ(literal.Length(), 3);

    CWConstString emptyLiteral(u"");
    EXPECT_TRUE(emptyLiteral.IsEmpty());

    CWString owned(u"文件");
    EXPECT_FALSE(owned.IsBorrowed());
    EXPECT_EQ(owned.Length(), 2);
    EXPECT_EQ(owned.Buffer().Size(), 6);  // two units and one terminator
    EXPECT_EQ(owned.Buffer().Step(), CWString::kBufferStep);
}

TEST(CWString, ChangingABorrowedTextCopiesTheLiteralFirst) {
    static const char16_t literal[] = u"abc";
    CWConstString text(literal);
    CWString copy = text;
    EXPECT_TRUE(copy.IsBorrowed());
    EXPECT_EQ(copy.Chars(), literal);  // a pointer copy, no bytes
    copy.AppendChar(u'd');
    EXPECT_FALSE(copy.IsBorrowed());
    EXPECT_EQ(copy, u"abcd");
    EXPECT_EQ(text, u"abc");
    EXPECT_EQ(std::u16string(literal), u"abc");
}

TEST(CWString, CopiesDoNotShareBuffers) {
    CWString a(u"one");
    CWString b = a;
    b.AppendChar(u'!');
    EXPECT_EQ(a, u"one");
    EXPECT_EQ(b, u"one!");
    CWString c = std::move(b);
    EXPECT_EQ(c, u"one!");
    EXPECT_TRUE(b.IsEmpty());
}

struct EditCase {
    const char* name;
    std::u16string start;
    bool startBorrowed;
    std::function<void(CWString&)> edit;
    std::u16string expected;
};

class CWStringEdit : public ::testing::TestWithParam<EditCase> {};

TEST_P(CWStringEdit, GivesTheExpectedText) {
    const EditCase& c = GetParam();
    CWString text = c.startBorrowed ? CWString(CWConstString(c.start.c_str())) : CWString(c.start);
    c.edit(text);
    EXPECT_EQ(text.View(), c.expected) << U8(text);
    EXPECT_EQ(text.Chars()[text.Length()], u'\0');
}

const char16_t kWithNul[] = {u'a', u'b', 0, u'c', u'd'};

// `count` units that differ from their neighbours: a misplaced copy shows.
std::u16string Units(int count) {
    std::u16string units;
    for (int i = 0; i < count; ++i) {
        units.push_back(static_cast<char16_t>(u'A' + i % 26));
    }
    return units;
}

void AppendToCopyOfItself(CWString& s) {
    CWString copy = s;
    copy.Append(copy);
    s = copy;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CWStringEdit,
    ::testing::Values(
        EditCase{"append", u"ab", false, [](CWString& s) { s.Append(u"cd"); }, u"abcd"},
        EditCase{"append_none", u"ab", false,
                 [](CWString& s) { s.Append(static_cast<const char16_t*>(nullptr)); }, u"ab"},
        EditCase{"append_to_literal", u"ab", true, [](CWString& s) { s.Append(u"c"); }, u"abc"},
        EditCase{"append_char_zero", u"ab", false, [](CWString& s) { s.AppendChar(0); }, u"ab"},
        EditCase{"append_chars_keeps_nul", u"", false,
                 [](CWString& s) { s.AppendChars(kWithNul, 5); }, std::u16string(kWithNul, 5)},
        EditCase{"append_chars_none", u"x", false, [](CWString& s) { s.AppendChars(kWithNul, 0); },
                 u"x"},
        EditCase{"append_self", u"ab", false, [](CWString& s) { s.Append(s); }, u"abab"},
        // A copy of a text whose bytes are a whole number of growth steps holds one step
        // spare; dropping the terminator before the append then shrinks the buffer that
        // the appended units come from.
        EditCase{"append_self_126", Units(126), false, AppendToCopyOfItself,
                 Units(126) + Units(126)},
        EditCase{"append_self_253", Units(253), false, AppendToCopyOfItself,
                 Units(253) + Units(253)},
        EditCase{"append_own_tail_126", Units(126), false,
                 [](CWString& s) {
                     CWString copy = s;
                     copy.AppendChars(copy.Chars() + 100, 26);
                     s = copy;
                 },
                 Units(126) + Units(126).substr(100)},
        EditCase{"append_self_to_literal", u"ab", true, [](CWString& s) { s.Append(s); }, u"abab"},
        EditCase{"assign_chars", u"old", false, [](CWString& s) { s.AssignChars(u"new", 2); },
                 u"ne"},
        EditCase{"assign_chars_zero", u"old", false, [](CWString& s) { s.AssignChars(u"new", 0); },
                 u""},
        EditCase{"assign_chars_own_tail", u"abcdef", false,
                 [](CWString& s) { s.AssignChars(s.Chars() + 2, 3); }, u"cde"},
        EditCase{"assign_up_to_stops_at_nul", u"zz", false,
                 [](CWString& s) { s.AssignUpTo(kWithNul, 5); }, u"ab"},
        EditCase{"assign_up_to_count", u"", false, [](CWString& s) { s.AssignUpTo(u"abcdef", 3); },
                 u"abc"},
        EditCase{"assign_up_to_nothing", u"zz", false, [](CWString& s) { s.AssignUpTo(u"", 3); },
                 u""},
        EditCase{"insert_front", u"Windows", false,
                 [](CWString& s) { s.InsertFront(CWString(u"C:\\")); }, u"C:\\Windows"},
        EditCase{"insert_front_into_empty", u"", false,
                 [](CWString& s) { s.InsertFront(CWString(u"x")); }, u"x"},
        EditCase{"insert_front_empty", u"x", false, [](CWString& s) { s.InsertFront(CWString()); },
                 u"x"},
        EditCase{"prepend_backslash", u"Windows", false, [](CWString& s) { s.PrependBackslash(); },
                 u"\\Windows"},
        EditCase{"prepend_backslash_empty", u"", false, [](CWString& s) { s.PrependBackslash(); },
                 u"\\"},
        EditCase{"trailing_backslash_added", u"C:", false,
                 [](CWString& s) { s.EnsureTrailingBackslash(); }, u"C:\\"},
        EditCase{"trailing_backslash_kept", u"C:\\", true,
                 [](CWString& s) { s.EnsureTrailingBackslash(); }, u"C:\\"},
        EditCase{"trailing_backslash_empty", u"", false,
                 [](CWString& s) { s.EnsureTrailingBackslash(); }, u"\\"},
        EditCase{"left", u"abcdef", false, [](CWString& s) { s = s.Left(2); }, u"ab"},
        EditCase{"left_past_end", u"ab", true, [](CWString& s) { s = s.Left(9); }, u"ab"},
        EditCase{"left_negative", u"ab", false, [](CWString& s) { s = s.Left(-1); }, u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CWString, ConcatOfEmptyAndNonEmptyTexts) {
    const CWString empty;
    const CWString a(u"a");
    EXPECT_TRUE(CWString::Concat(empty, empty).IsEmpty());
    EXPECT_EQ(CWString::Concat(a, CWConstString(u"")), u"a");
    EXPECT_EQ(CWString::Concat(empty, a), u"a");
    EXPECT_EQ(CWString::Concat(a, u""), u"a");
    EXPECT_EQ(CWString::Concat(a, static_cast<const char16_t*>(nullptr)), u"a");
    EXPECT_EQ(CWString::Concat(a, u"[新建文件] "), u"a[新建文件] ");
    EXPECT_EQ(CWString::Concat(CWConstString(u"x"), CWConstString(u"y")), u"xy");
}

struct TextBeforeCase {
    std::u16string text;
    std::u16string delimiter;
    std::u16string expected;
};

class CWStringTextBefore : public ::testing::TestWithParam<TextBeforeCase> {};

TEST_P(CWStringTextBefore, FindsTheFirstMatchFoldingOnlyAsciiLetters) {
    const auto& c = GetParam();
    EXPECT_EQ(CWString::TextBefore(CWString(c.text), CWString(c.delimiter)).View(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CWStringTextBefore,
    ::testing::Values(TextBeforeCase{u"C:\\Data", u":", u"C"},
                      TextBeforeCase{u"d:\\data\\", u":", u"d"}, TextBeforeCase{u"data", u":", u""},
                      TextBeforeCase{u"", u":", u""}, TextBeforeCase{u":\\x", u":", u""},
                      TextBeforeCase{u"C:\\a:b", u":", u"C"}, TextBeforeCase{u"C:\\", u"", u""},
                      TextBeforeCase{u"abc", u"B", u"a"}, TextBeforeCase{u"ABC", u"b", u"A"},
                      TextBeforeCase{u"xäy", u"Ä", u""}, TextBeforeCase{u"xÄy", u"Ä", u"x"},
                      TextBeforeCase{u"a[b", u"{", u""}, TextBeforeCase{u"ab", u"abc", u""}));

struct FormatCase {
    const char* name;
    std::function<void(CWString&)> format;
    std::u16string expected;
};

class CWStringFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(CWStringFormat, RendersLikeWidePrintf) {
    CWString text(u"previous");
    GetParam().format(text);
    EXPECT_EQ(text.View(), GetParam().expected) << U8(text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CWStringFormat,
    ::testing::Values(
        FormatCase{"device", [](CWString& s) { s.Format(u"\\\\.\\%c:", u'C'); }, u"\\\\.\\C:"},
        FormatCase{"number", [](CWString& s) { s.Format(u"%d/%d", -42, 7); }, u"-42/7"},
        FormatCase{"int_min", [](CWString& s) { s.Format(u"%d", -2147483647 - 1); },
                   u"-2147483648"},
        FormatCase{"padded", [](CWString& s) { s.Format(u"%02d:%02d", 5, 12); }, u"05:12"},
        FormatCase{"hex", [](CWString& s) { s.Format(u"%x %X %08x", 255u, 255u, 0x1234u); },
                   u"ff FF 00001234"},
        FormatCase{"text", [](CWString& s) { s.Format(u"[%s]", u"新建"); }, u"[新建]"},
        FormatCase{"text_width", [](CWString& s) { s.Format(u"%-4s|%4s", u"a", u"b"); },
                   u"a   |   b"},
        FormatCase{"percent", [](CWString& s) { s.Format(u"100%%"); }, u"100%"},
        FormatCase{"missing_argument", [](CWString& s) { s.Format(u"%d %d", 1); }, u""},
        FormatCase{"wrong_kind", [](CWString& s) { s.Format(u"%d", u"x"); }, u""},
        FormatCase{"unknown_conversion", [](CWString& s) { s.Format(u"%q", 1); }, u""},
        FormatCase{"dangling_percent", [](CWString& s) { s.Format(u"50%"); }, u""},
        FormatCase{"nothing_rendered", [](CWString& s) { s.Format(u""); }, u""},
        // The text itself as an argument: its characters are read before it changes.
        FormatCase{"itself_as_argument", [](CWString& s) { s.Format(u"[%s|%s]", s, s); },
                   u"[previous|previous]"},
        FormatCase{"its_characters_as_argument",
                   [](CWString& s) { s.Format(u"%s:%d", s.Chars() + 4, s.Length()); }, u"ious:8"},
        FormatCase{"itself_when_the_format_fails", [](CWString& s) { s.Format(u"%s %q", s, 1); },
                   u""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
