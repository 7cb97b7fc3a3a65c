// Path texts as the simulated machine reads them, which is GetFullPathNameW's reading.

#include "sim/SimPathNames.h"

#include <gtest/gtest.h>

#include "runtime/text/Utf8.h"

namespace {

TEST(SimPathNamesTest, FullPathNamesAreWindowsReading) {
    struct Case {
        const char16_t* path;
        const char16_t* full;
    };
    const Case cases[] = {
        {u"C:\\data", u"C:\\data"},
        {u"c:\\DATA\\", u"c:\\DATA\\"},  // the case as typed, a trailing separator kept
        {u"C:/data/sub", u"C:\\data\\sub"},
        {u"C:\\\\data//sub", u"C:\\data\\sub"},
        // Relative ones: from the current directory, on its drive; from the root elsewhere.
        {u"C:data", u"C:\\work\\data"},
        {u"c:data", u"c:\\work\\data"},
        {u"C:", u"C:\\work"},
        {u"D:data", u"D:\\data"},
        {u"D:", u"D:\\"},
        {u"data", u"C:\\work\\data"},
        {u".", u"C:\\work"},
        {u"..\\data", u"C:\\data"},
        {u"\\data", u"C:\\data"},
        {u"  C:\\data", u"C:\\work\\  C:\\data"},
        // "." and "..", never above the root.
        {u"C:\\data\\..\\data", u"C:\\data"},
        {u"C:\\data\\.\\sub\\..", u"C:\\data"},
        {u"C:\\..\\..\\data", u"C:\\data"},
        // Trailing dots and spaces of the last name go; a name ending in one dot loses it.
        {u"C:\\data.", u"C:\\data"},
        {u"C:\\data . .", u"C:\\data"},
        {u"C:\\data.\\sub", u"C:\\data\\sub"},
        {u"C:\\a...\\sub", u"C:\\a...\\sub"},
        {u"C:\\data \\", u"C:\\data \\"},
        {u"C:\\ ", u"C:\\"},
        // As they are.
        {u"\\\\?\\C:\\data\\..\\x/y.", u"\\\\?\\C:\\data\\..\\x/y."},
        // A network path's root is its share.
        {u"\\\\server\\share\\a\\..\\..\\b", u"\\\\server\\share\\b"},
        {u"//server/share/a", u"\\\\server\\share\\a"},
        {u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sim_paths::FullPathName(c.path, u"C:\\work"), c.full) << ToUtf8(c.path);
    }
    EXPECT_EQ(sim_paths::FullPathName(u"C:data", u"C:\\"), u"C:\\data");
    EXPECT_EQ(sim_paths::FullPathName(u"C:", u"C:\\"), u"C:\\");
}

}  // namespace
