// The lines the console program writes by default: the main window's format, three more
// kinds, and the selection of kinds.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "console/ChangeKindSet.h"
#include "console/LineSlotWriter.h"
#include "runtime/text/Utf8.h"

namespace {

struct LineCase {
    const char* slot;
    ChangeKind kind;
    std::function<void(WatcherSlots&)> call;
    std::string line;  // empty: no line
};

class LineFormatTest : public ::testing::Test {
protected:
    CWString a{u"a.txt"};
    CWString b{u"b 文件.txt"};
    CWString data{u"C:\\data\\"};
    CWString old{u"C:\\old\\"};
    CWString unresolved;  // a directory the engine could not resolve
    CWString binPath{u"C:\\$RECYCLE.BIN\\S-1-5-21-1\\$RAB12CD.txt"};
    FileTime time = FileTime::FromInt64(133594620873456789LL);
    static constexpr int kReasons = static_cast<int>(0x80000002u);

    std::vector<LineCase> Cases() {
        return {
            {"OnStarted", ChangeKind::Other, [this](WatcherSlots& s) { Call(s.OnStarted); }, ""},
            {"OnCreated", ChangeKind::Created,
             [this](WatcherSlots& s) { Call(s.OnCreated, a, data, time, 0x20); },
             "14:03:27[新建文件] C:\\data\\a.txt"},
            {"OnCreated_unresolved", ChangeKind::Created,
             [this](WatcherSlots& s) { Call(s.OnCreated, a, unresolved, time, 0x20); },
             "14:03:27[新建文件] a.txt"},
            {"OnDeleted", ChangeKind::Deleted,
             [this](WatcherSlots& s) { Call(s.OnDeleted, b, data, time, 0x10); },
             "14:03:27[彻底删除] C:\\data\\b 文件.txt"},
            {"OnContentChanged", ChangeKind::Modified,
             [this](WatcherSlots& s) { Call(s.OnContentChanged, a, data, kReasons, time, 0x20); },
             "14:03:27[文件修改] C:\\data\\a.txt"},
            {"OnRenamed", ChangeKind::Renamed,
             [this](WatcherSlots& s) { Call(s.OnRenamed, a, b, data, time, 0x20); },
             "14:03:27[重命名] C:\\data\\b 文件.txt  (原名:a.txt)"},
            {"OnRecycled", ChangeKind::Recycled,
             [this](WatcherSlots& s) { Call(s.OnRecycled, a, data, binPath, time, 0x20); },
             "14:03:27[移到回收站] C:\\data\\a.txt"},
            {"OnMoved", ChangeKind::Moved,
             [this](WatcherSlots& s) { Call(s.OnMoved, a, b, data, old, time, 0x20); },
             "14:03:27[移动] C:\\old\\b 文件.txt  (原位置:C:\\data\\a.txt)"},
            {"OnAttributesChanged", ChangeKind::Attributes,
             [this](WatcherSlots& s) {
                 Call(s.OnAttributesChanged, a, data, kReasons, time, 0x20);
             },
             "14:03:27[属性] C:\\data\\a.txt"},
            {"OnOtherChange", ChangeKind::Other,
             [this](WatcherSlots& s) { Call(s.OnOtherChange, a, data, kReasons, time, 0x20); },
             "14:03:27[其他] C:\\data\\a.txt"},
        };
    }

    // Calls a slot that is not empty, as the engine does.
    template <typename Slot, typename... Args>
    static void Call(Slot& slot, Args&&... args) {
        if (slot) {
            slot(args...);
        }
    }

    std::vector<std::string> lines;
    WatcherSlots Writer() {
        return LineSlotWriter([this](std::u16string_view line) { lines.push_back(ToUtf8(line)); },
                              [] { return CWString(u"14:03:27"); })
            .Slots();
    }
};

TEST_F(LineFormatTest, EachChangeIsOneLineInTheWindowsFormat) {
    for (const LineCase& c : Cases()) {
        SCOPED_TRACE(c.slot);
        lines.clear();
        WatcherSlots slots = Writer();
        c.call(slots);
        EXPECT_EQ(lines,
                  c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
    }
}

TEST_F(LineFormatTest, EachKindSelectsItsOwnSlotAndTheStartOfAWatchStays) {
    for (std::size_t k = 0; k < ChangeKindSet::kNames.size(); ++k) {
        const auto kind = static_cast<ChangeKind>(k);
        ChangeKindSet only;
        only.Add(kind);
        for (const LineCase& c : Cases()) {
            SCOPED_TRACE(ToUtf8(ChangeKindSet::kNames[k]) + " " + c.slot);
            lines.clear();
            WatcherSlots slots = only.Select(Writer());
            c.call(slots);
            EXPECT_EQ(lines.size(), !c.line.empty() && c.kind == kind ? 1u : 0u);
        }
    }
    for (const LineCase& c : Cases()) {
        lines.clear();
        WatcherSlots slots = ChangeKindSet::All().Select(Writer());
        c.call(slots);
        EXPECT_EQ(lines.size(), c.line.empty() ? 0u : 1u) << c.slot;
    }
    WatcherSlots started;
    started.OnStarted = [] { return 0; };
    EXPECT_TRUE(ChangeKindSet().Select(started).OnStarted) << "the start of a watch is no kind";
}

TEST(ChangeKindSetTest, NamesAreKnownInAnyLetterCaseAndNothingElse) {
    EXPECT_EQ(ChangeKindSet::Named(u"created"), ChangeKind::Created);
    EXPECT_EQ(ChangeKindSet::Named(u"Attributes"), ChangeKind::Attributes);
    EXPECT_EQ(ChangeKindSet::Named(u"MOVED"), ChangeKind::Moved);
    EXPECT_EQ(ChangeKindSet::Named(u"create"), std::nullopt);
    EXPECT_EQ(ChangeKindSet::Named(u"createdx"), std::nullopt);
    EXPECT_EQ(ChangeKindSet::Named(u""), std::nullopt);
    // A letter that folds to ASCII only in other scripts is no match.
    EXPECT_EQ(ChangeKindSet::Named(u"ｃｒｅａｔｅｄ"), std::nullopt);
}

}  // namespace
