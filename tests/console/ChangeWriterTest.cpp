// What the console program writes for the engine's calls: the window's line or the JSON
// line of each, only for the kinds asked for, the start of a watch never counted.

#include "console/ChangeWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/text/Utf8.h"

namespace {

struct Written {
    std::string line;
    bool isChange;
    friend bool operator==(const Written&, const Written&) = default;
};

class ChangeWriterTest : public ::testing::Test {
protected:
    std::vector<Written> written;

    ChangeWriter Writer(ChangeWriter::Format format, ChangeKindSet kinds = ChangeKindSet::All()) {
        return ChangeWriter(
            format, kinds, [] { return std::u16string(u"14:03:27"); },
            [this](std::u16string_view line, const FileChange& change) {
                written.push_back({ToUtf8(line), !IsNotice(change.kind)});
            });
    }

    // One change of every kind, as the engine reports them: only what the slots want.
    static void ReportEveryKind(const WatcherSlots& slots) {
        constexpr std::int64_t kTime = 133594620873456789LL;
        const auto named = [&](ChangeKind kind, std::uint32_t reasons = 0) {
            return FileChange{.kind = kind,
                              .name = u"a.txt",
                              .dir = u"C:\\data\\",
                              .time = kTime,
                              .attributes = 0x20,
                              .reasons = reasons};
        };
        const FileChange every[] = {
            {.kind = ChangeKind::Started},
            named(ChangeKind::Created),
            named(ChangeKind::Deleted),
            named(ChangeKind::ContentChanged, 2),
            {.kind = ChangeKind::Renamed,
             .name = u"b.txt",
             .dir = u"C:\\data\\",
             .oldName = u"a.txt",
             .time = kTime,
             .attributes = 0x20},
            {.kind = ChangeKind::Recycled,
             .oldName = u"a.txt",
             .oldDir = u"C:\\data\\",
             .newPath = u"C:\\other\\",
             .time = kTime,
             .attributes = 0x20},
            {.kind = ChangeKind::Moved,
             .name = u"b.txt",
             .dir = u"C:\\other\\",
             .oldName = u"a.txt",
             .oldDir = u"C:\\data\\",
             .time = kTime,
             .attributes = 0x20},
            named(ChangeKind::AttributesChanged, 0x8000),
            named(ChangeKind::Other, 0x10000),
        };
        for (const FileChange& change : every) {
            if (slots.Wants(change.kind)) {
                slots.Report(change);
            }
        }
    }
};

TEST_F(ChangeWriterTest, EverySlotIsOneLineInTheWindowsFormatAndTheStartIsNone) {
    ReportEveryKind(Writer(ChangeWriter::Format::kLines).Slots());
    EXPECT_EQ(written, (std::vector<Written>{
                           {"14:03:27[新建文件] C:\\data\\a.txt", true},
                           {"14:03:27[彻底删除] C:\\data\\a.txt", true},
                           {"14:03:27[文件修改] C:\\data\\a.txt", true},
                           {"14:03:27[重命名] C:\\data\\b.txt  (原名:a.txt)", true},
                           {"14:03:27[移到回收站] C:\\data\\a.txt", true},
                           {"14:03:27[移动] C:\\other\\b.txt  (原位置:C:\\data\\a.txt)", true},
                           {"14:03:27[属性] C:\\data\\a.txt", true},
                           {"14:03:27[其他] C:\\data\\a.txt", true},
                       }));
}

TEST_F(ChangeWriterTest, InJsonTheStartIsWrittenButIsNoChange) {
    ReportEveryKind(Writer(ChangeWriter::Format::kJson).Slots());
    ASSERT_EQ(written.size(), 9u);
    EXPECT_EQ(written[0], (Written{R"({"slot":"OnStarted"})", false}));
    for (std::size_t i = 1; i < written.size(); ++i) {
        EXPECT_TRUE(written[i].isChange) << written[i].line;
    }
    EXPECT_EQ(written[4].line,
              R"({"slot":"OnRenamed","oldName":"a.txt","newName":"b.txt","dir":"C:\\data\\",)"
              R"("time":133594620873456789,"attributes":32,"usn":0})");
}

// A path over 1,100 characters is written whole in either format, as one line.
TEST_F(ChangeWriterTest, APathOfAnyLengthIsOneWholeLine) {
    std::u16string deep = u"C:\\";
    while (deep.size() <= 1100) {
        deep += u"目录" + std::u16string(60, u'x') + u"\\";
    }
    const FileChange created{.kind = ChangeKind::Created,
                             .name = u"a.txt",
                             .dir = deep,
                             .time = 133594620873456789LL,
                             .attributes = 0x20};
    Writer(ChangeWriter::Format::kLines).Slots().Report(created);
    Writer(ChangeWriter::Format::kJson).Slots().Report(created);
    std::string json = ToUtf8(deep);
    for (std::size_t at = 0; (at = json.find('\\', at)) != std::string::npos; at += 2) {
        json.insert(at, 1, '\\');
    }
    EXPECT_EQ(written, (std::vector<Written>{
                           {"14:03:27[新建文件] " + ToUtf8(deep) + "a.txt", true},
                           {R"({"slot":"OnCreated","name":"a.txt","dir":")" + json +
                                R"(","time":133594620873456789,"attributes":32,"usn":0})",
                            true},
                       }));
}

TEST_F(ChangeWriterTest, EachKindSelectsItsOwnLinesAndTheStartOfAWatchStays) {
    for (const ChangeKindNames& names : kChangeKinds) {
        const ChangeKind kind = names.kind;
        if (IsNotice(kind)) {
            continue;
        }
        SCOPED_TRACE(ToUtf8(names.option));
        ChangeKindSet only;
        only.Add(kind);
        written.clear();
        const ChangeWriter writer = Writer(ChangeWriter::Format::kJson, only);
        const WatcherSlots slots = writer.Slots();
        ReportEveryKind(slots);
        ASSERT_EQ(written.size(), 2u);
        EXPECT_EQ(written[0].line, R"({"slot":"OnStarted"})");
        EXPECT_TRUE(written[1].isChange);
        // The other kinds are not wanted: the engine spares their paths.
        EXPECT_EQ(slots.Wants(ChangeKind::Created), kind == ChangeKind::Created);
        EXPECT_EQ(slots.Wants(ChangeKind::Moved), kind == ChangeKind::Moved);
        EXPECT_EQ(slots.Wants(ChangeKind::Other), kind == ChangeKind::Other);
    }
    written.clear();
    ReportEveryKind(Writer(ChangeWriter::Format::kJson, ChangeKindSet()).Slots());
    EXPECT_EQ(written, (std::vector<Written>{{R"({"slot":"OnStarted"})", false}}));
}

TEST(ChangeKindSetTest, NamesAreKnownInAnyLetterCaseAndNothingElse) {
    EXPECT_EQ(ChangeKindSet::Named(u"created"), ChangeKind::Created);
    EXPECT_EQ(ChangeKindSet::Named(u"modified"), ChangeKind::ContentChanged);
    EXPECT_EQ(ChangeKindSet::Named(u"Attributes"), ChangeKind::AttributesChanged);
    EXPECT_EQ(ChangeKindSet::Named(u"MOVED"), ChangeKind::Moved);
    EXPECT_EQ(ChangeKindSet::Named(u"create"), std::nullopt);
    EXPECT_EQ(ChangeKindSet::Named(u"createdx"), std::nullopt);
    EXPECT_EQ(ChangeKindSet::Named(u""), std::nullopt);
    // A letter that folds to ASCII only in other scripts is no match.
    EXPECT_EQ(ChangeKindSet::Named(u"ｃｒｅａｔｅｄ"), std::nullopt);
}

}  // namespace
