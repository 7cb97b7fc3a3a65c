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

    // One call of every slot, as the engine makes them.
    static void CallEverySlot(const WatcherSlots& slots) {
        CWString a(u"a.txt");
        CWString b(u"b.txt");
        CWString dir(u"C:\\data\\");
        CWString other(u"C:\\other\\");
        FileTime time = FileTime::FromInt64(133594620873456789LL);
        const auto call = [](const auto& slot, auto&&... args) {
            if (slot) {
                slot(args...);
            }
        };
        call(slots.OnStarted);
        call(slots.OnCreated, a, dir, time, 0x20);
        call(slots.OnDeleted, a, dir, time, 0x20);
        call(slots.OnContentChanged, a, dir, 2, time, 0x20);
        call(slots.OnRenamed, a, b, dir, time, 0x20);
        call(slots.OnRecycled, a, dir, other, time, 0x20);
        call(slots.OnMoved, a, b, dir, other, time, 0x20);
        call(slots.OnAttributesChanged, a, dir, 0x8000, time, 0x20);
        call(slots.OnOtherChange, a, dir, 0x10000, time, 0x20);
    }
};

TEST_F(ChangeWriterTest, EverySlotIsOneLineInTheWindowsFormatAndTheStartIsNone) {
    CallEverySlot(Writer(ChangeWriter::Format::kLines).Slots());
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
    CallEverySlot(Writer(ChangeWriter::Format::kJson).Slots());
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
    CWString name(u"a.txt");
    CWString dir(deep);
    FileTime time = FileTime::FromInt64(133594620873456789LL);
    Writer(ChangeWriter::Format::kLines).Slots().OnCreated(name, dir, time, 0x20);
    Writer(ChangeWriter::Format::kJson).Slots().OnCreated(name, dir, time, 0x20);
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
    for (std::size_t k = 0; k < ChangeKindSet::kNames.size(); ++k) {
        const auto kind = static_cast<ChangeKind>(k);
        SCOPED_TRACE(ToUtf8(ChangeKindSet::kNames[k]));
        ChangeKindSet only;
        only.Add(kind);
        written.clear();
        const ChangeWriter writer = Writer(ChangeWriter::Format::kJson, only);
        const WatcherSlots slots = writer.Slots();
        CallEverySlot(slots);
        ASSERT_EQ(written.size(), 2u);
        EXPECT_EQ(written[0].line, R"({"slot":"OnStarted"})");
        EXPECT_TRUE(written[1].isChange);
        // The slots of the other kinds stay empty: the engine spares their path queries.
        EXPECT_EQ(static_cast<bool>(slots.OnCreated), kind == ChangeKind::Created);
        EXPECT_EQ(static_cast<bool>(slots.OnMoved), kind == ChangeKind::Moved);
        EXPECT_EQ(static_cast<bool>(slots.OnOtherChange), kind == ChangeKind::Other);
    }
    written.clear();
    CallEverySlot(Writer(ChangeWriter::Format::kJson, ChangeKindSet()).Slots());
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
