// The JSON line of every kind: the keys scripts read, in their order, and the numbers as
// the unsigned bit sets and FILETIME values they are.

#include "report/JsonSlotWriter.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// The close bit is set in every reason mask the engine reports.
constexpr std::uint32_t kReasons = 0x80000102u;
constexpr std::uint32_t kDirectory = 0x10;
constexpr std::int64_t kTime = 133594620873456789LL;
constexpr const char* kTimeAndAttributes =
    R"("time":133594620873456789,"attributes":16,"usn":4096})";

struct KindCase {
    FileChange change;
    std::string line;
};

FileChange Named(ChangeKind kind, std::uint32_t reasons = 0) {
    return {.kind = kind,
            .name = u"a.txt",
            .dir = u"C:\\data\\",
            .time = kTime,
            .usn = 4096,
            .attributes = kDirectory,
            .reasons = reasons};
}

TEST(JsonSlotWriterTest, EachKindWritesOneLineWithItsFieldsByName) {
    const std::string names = R"("name":"a.txt","dir":"C:\\data\\",)";
    const std::string renamed = R"("oldName":"a.txt","newName":"文件.txt",)";
    const KindCase cases[] = {
        {{.kind = ChangeKind::Started}, R"({"slot":"OnStarted"})"},
        {Named(ChangeKind::Created), R"({"slot":"OnCreated",)" + names + kTimeAndAttributes},
        {Named(ChangeKind::Deleted), R"({"slot":"OnDeleted",)" + names + kTimeAndAttributes},
        {Named(ChangeKind::ContentChanged, kReasons), R"({"slot":"OnContentChanged",)" + names +
                                                          R"("reasons":2147483906,)" +
                                                          kTimeAndAttributes},
        {{.kind = ChangeKind::Renamed,
          .name = u"文件.txt",
          .dir = u"C:\\data\\",
          .oldName = u"a.txt",
          .time = kTime,
          .usn = 4096,
          .attributes = kDirectory},
         R"({"slot":"OnRenamed",)" + renamed + R"("dir":"C:\\data\\",)" + kTimeAndAttributes},
        {{.kind = ChangeKind::Recycled,
          .oldName = u"a.txt",
          .oldDir = u"C:\\data\\",
          .newPath = u"C:\\other\\",
          .time = kTime,
          .usn = 4096,
          .attributes = kDirectory},
         R"({"slot":"OnRecycled","oldName":"a.txt","oldDir":"C:\\data\\",)"
         R"("newPath":"C:\\other\\",)" +
             std::string(kTimeAndAttributes)},
        {{.kind = ChangeKind::Moved,
          .name = u"文件.txt",
          .dir = u"C:\\other\\",
          .oldName = u"a.txt",
          .oldDir = u"C:\\data\\",
          .time = kTime,
          .usn = 4096,
          .attributes = kDirectory},
         R"({"slot":"OnMoved",)" + renamed + R"("oldDir":"C:\\data\\","newDir":"C:\\other\\",)" +
             kTimeAndAttributes},
        {Named(ChangeKind::AttributesChanged, kReasons), R"({"slot":"OnAttributesChanged",)" +
                                                             names + R"("reasons":2147483906,)" +
                                                             kTimeAndAttributes},
        {Named(ChangeKind::Other, kReasons),
         R"({"slot":"OnOtherChange",)" + names + R"("reasons":2147483906,)" + kTimeAndAttributes},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(NamesOf(c.change.kind).slot);
        std::vector<std::string> lines;
        const WatcherSlots slots =
            JsonSlotWriter([&](const std::string& line) { lines.push_back(line); }).Slots();
        slots.Report(c.change);
        EXPECT_EQ(lines, std::vector<std::string>{c.line});
    }
}

TEST(JsonSlotWriterTest, TheStreamFormEndsEachLineAndOutlivesNoWriter) {
    std::ostringstream out;
    WatcherSlots slots = JsonSlotWriter(out).Slots();  // the writer itself is gone
    slots.Report({.kind = ChangeKind::Started});
    slots.Report({.kind = ChangeKind::Started});
    EXPECT_EQ(out.str(), "{\"slot\":\"OnStarted\"}\n{\"slot\":\"OnStarted\"}\n");
}

}  // namespace
