#include "runtime/text/Utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, RoundTripsBmpAndSupplementaryCharacters) {
    const std::u16string text = u"C:\\数据\\😀.txt";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"砚舟"), "砚舟");
}

TEST(Utf8, ReplacesMalformedInput) {
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(FromUtf8("\xE6\x96"), u"\uFFFD\uFFFD");
    EXPECT_EQ(FromUtf8("\xFF"
                       "b"),
              u"\uFFFDb");
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
}

}  // namespace
