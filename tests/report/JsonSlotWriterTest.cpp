// The JSON line of every slot: the keys scripts read, in their order, and the numbers as
// the unsigned bit sets and FILETIME values they are.

#include "report/JsonSlotWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The close bit is set in every reason mask the engine reports: the int is negative.
constexpr int kReasons = static_cast<int>(0x80000102u);
constexpr int kDirectory = 0x10;
const FileTime kTime = FileTime::FromInt64(133594620873456789LL);
constexpr const char* kTimeAndAttributes = R"("time":133594620873456789,"attributes":16,"usn":0})";

struct SlotCase {
    const char* slot;
    std::function<void(WatcherSlots&)> call;
    std::string line;
};

TEST(JsonSlotWriterTest, EachSlotWritesOneLineWithItsArgumentsByName) {
    CWString a(u"a.txt");
    CWString b(u"文件.txt");
    CWString dir(u"C:\\data\\");
    CWString other(u"C:\\other\\");
    FileTime time = kTime;
    const std::string names = R"("name":"a.txt","dir":"C:\\data\\",)";
    const std::string renamed = R"("oldName":"a.txt","newName":"文件.txt",)";
    const SlotCase cases[] = {
        {"OnStarted", [&](WatcherSlots& s) { s.OnStarted(); }, R"({"slot":"OnStarted"})"},
        {"OnCreated", [&](WatcherSlots& s) { s.OnCreated(a, dir, time, kDirectory); },
         R"({"slot":"OnCreated",)" + names + kTimeAndAttributes},
        {"OnDeleted", [&](WatcherSlots& s) { s.OnDeleted(a, dir, time, kDirectory); },
         R"({"slot":"OnDeleted",)" + names + kTimeAndAttributes},
        {"OnContentChanged",
         [&](WatcherSlots& s) { s.OnContentChanged(a, dir, kReasons, time, kDirectory); },
         R"({"slot":"OnContentChanged",)" + names + R"("reasons":2147483906,)" +
             kTimeAndAttributes},
        {"OnRenamed", [&](WatcherSlots& s) { s.OnRenamed(a, b, dir, time, kDirectory); },
         R"({"slot":"OnRenamed",)" + renamed + R"("dir":"C:\\data\\",)" + kTimeAndAttributes},
        {"OnRecycled", [&](WatcherSlots& s) { s.OnRecycled(a, dir, other, time, kDirectory); },
         R"({"slot":"OnRecycled","oldName":"a.txt","oldDir":"C:\\data\\",)"
         R"("newPath":"C:\\other\\",)" +
             std::string(kTimeAndAttributes)},
        {"OnMoved", [&](WatcherSlots& s) { s.OnMoved(a, b, dir, other, time, kDirectory); },
         R"({"slot":"OnMoved",)" + renamed + R"("oldDir":"C:\\data\\","newDir":"C:\\other\\",)" +
             kTimeAndAttributes},
        {"OnAttributesChanged",
         [&](WatcherSlots& s) { s.OnAttributesChanged(a, dir, kReasons, time, kDirectory); },
         R"({"slot":"OnAttributesChanged",)" + names + R"("reasons":2147483906,)" +
             kTimeAndAttributes},
        {"OnOtherChange",
         [&](WatcherSlots& s) { s.OnOtherChange(a, dir, kReasons, time, kDirectory); },
         R"({"slot":"OnOtherChange",)" + names + R"("reasons":2147483906,)" + kTimeAndAttributes},
    };
    for (const SlotCase& c : cases) {
        SCOPED_TRACE(c.slot);
        std::vector<std::string> lines;
        WatcherSlots slots =
            JsonSlotWriter([&](const std::string& line) { lines.push_back(line); }).Slots();
        c.call(slots);
        EXPECT_EQ(lines, std::vector<std::string>{c.line});
    }
}

// The engine names the record of the change it reports next: its Usn ends the line, and
// only that line's.
TEST(JsonSlotWriterTest, AChangeCarriesItsRecordsUsn) {
    std::vector<std::string> lines;
    WatcherSlots slots =
        JsonSlotWriter([&](const std::string& line) { lines.push_back(line); }).Slots();
    CWString a(u"a.txt");
    CWString dir(u"C:\\");
    FileTime time = kTime;
    slots.OnUsn(4096);
    slots.OnCreated(a, dir, time, 32);
    slots.OnDeleted(a, dir, time, 32);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(R"(,"usn":4096})"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(R"(,"usn":0})"), std::string::npos) << lines[1];
}

TEST(JsonSlotWriterTest, TheStreamFormEndsEachLineAndOutlivesNoWriter) {
    std::ostringstream out;
    WatcherSlots slots = JsonSlotWriter(out).Slots();  // the writer itself is gone
    slots.OnStarted();
    slots.OnStarted();
    EXPECT_EQ(out.str(), "{\"slot\":\"OnStarted\"}\n{\"slot\":\"OnStarted\"}\n");
}

}  // namespace
