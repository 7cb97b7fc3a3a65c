// JSON lines: the escapes JSON requires, UTF-8 for every name, no name altered.

#include "report/JsonLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "support/JsonObject.h"

namespace {

struct TextCase {
    const char* what;
    std::u16string text;
    std::string json;  // the value as written, quotes included
};

TEST(JsonLineTest, TextsAreEscapedAndKeptWhole) {
    std::u16string deep = u"C:\\";
    std::string deepJson = "\"C:\\\\";
    while (deep.size() <= 1100) {
        deep += u"目录\\";
        deepJson += "\xe7\x9b\xae\xe5\xbd\x95\\\\";
    }
    const TextCase cases[] = {
        {"plain", u"a.txt", R"("a.txt")"},
        {"quote_and_backslash", u"say \"hi\"\\x", R"("say \"hi\"\\x")"},
        {"short_escapes", u"a\nb\rc\td", R"("a\nb\rc\td")"},
        {"other_controls", std::u16string(u"\x01\x1f") + u'\0', R"("\u0001\u001f\u0000")"},
        {"delete_and_slash_pass", u"\x7f/", "\"\x7f/\""},
        {"chinese", u"新建文件夹",
         "\"\xe6\x96\xb0\xe5\xbb\xba\xe6\x96\x87\xe4\xbb\xb6\xe5\xa4\xb9\""},
        {"surrogate_pair", u"\U0001F600", "\"\xf0\x9f\x98\x80\""},
        {"lone_high_surrogate", std::u16string{u'a', char16_t(0xD83D), u'b'}, R"("a\ud83db")"},
        {"lone_low_surrogate_at_end", std::u16string{u'a', char16_t(0xDE00)}, R"("a\ude00")"},
        {"pair_in_wrong_order", std::u16string{char16_t(0xDE00), char16_t(0xD83D)},
         R"("\ude00\ud83d")"},
        {"a_path_over_1100_characters", deep, deepJson + "\""},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string line = JsonLine("OnCreated").Add("name", c.text).Text();
        EXPECT_EQ(line, "{\"slot\":\"OnCreated\",\"name\":" + c.json + "}");
        json_test::JsonObject object;
        EXPECT_TRUE(json_test::ParseJsonObject(line, object));
    }
}

TEST(JsonLineTest, NumbersAreDecimalOverTheirWholeRange) {
    const std::string line = JsonLine("OnContentChanged")
                                 .Add("reasons", std::uint64_t{0x80000002u})
                                 .Add("time", std::numeric_limits<std::uint64_t>::max())
                                 .Add("low", std::numeric_limits<std::int64_t>::min())
                                 .Text();
    EXPECT_EQ(line,
              "{\"slot\":\"OnContentChanged\",\"reasons\":2147483650,"
              "\"time\":18446744073709551615,\"low\":-9223372036854775808}");
}

TEST(JsonLineTest, Utf8TextsPassThroughWithEscapes) {
    EXPECT_EQ(JsonLine("x").Add("k\"", std::string_view("\xe4\xb8\xad\"\n")).Text(),
              "{\"slot\":\"x\",\"k\\\"\":\"\xe4\xb8\xad\\\"\\n\"}");
}

}  // namespace
