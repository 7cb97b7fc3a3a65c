// The engine's calls as values: every argument lands in its field, and the slots of
// unwanted kinds stay empty.

#include "report/ChangeSlots.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

struct SlotCase {
    const char* slot;
    std::function<void(const WatcherSlots&)> call;
    FileChange change;
};

TEST(ChangeSlotsTest, EachCallIsOneValueWithEveryArgumentInItsField) {
    CWString a(u"a.txt");
    CWString b(u"b.txt");
    CWString dir(u"C:\\data\\");
    CWString other(u"C:\\other\\");
    constexpr std::int64_t kStamp = 133594620873456789LL;
    FileTime time = FileTime::FromInt64(kStamp);
    constexpr int kReasons = static_cast<int>(0x80000002u);
    const SlotCase cases[] = {
        {"OnStarted", [&](const WatcherSlots& s) { s.OnStarted(); }, {.kind = ChangeKind::Started}},
        {"OnCreated",
         [&](const WatcherSlots& s) { s.OnCreated(a, dir, time, 0x10); },
         {.kind = ChangeKind::Created,
          .name = u"a.txt",
          .dir = u"C:\\data\\",
          .time = kStamp,
          .attributes = 0x10}},
        {"OnDeleted",
         [&](const WatcherSlots& s) { s.OnDeleted(a, dir, time, 0x20); },
         {.kind = ChangeKind::Deleted,
          .name = u"a.txt",
          .dir = u"C:\\data\\",
          .time = kStamp,
          .attributes = 0x20}},
        {"OnContentChanged",
         [&](const WatcherSlots& s) { s.OnContentChanged(a, dir, kReasons, time, 0x20); },
         {.kind = ChangeKind::ContentChanged,
          .name = u"a.txt",
          .dir = u"C:\\data\\",
          .time = kStamp,
          .attributes = 0x20,
          .reasons = 0x80000002u}},
        {"OnRenamed",
         [&](const WatcherSlots& s) { s.OnRenamed(a, b, dir, time, 0x20); },
         {.kind = ChangeKind::Renamed,
          .name = u"b.txt",
          .dir = u"C:\\data\\",
          .oldName = u"a.txt",
          .time = kStamp,
          .attributes = 0x20}},
        {"OnRecycled",
         [&](const WatcherSlots& s) { s.OnRecycled(a, dir, other, time, 0x20); },
         {.kind = ChangeKind::Recycled,
          .oldName = u"a.txt",
          .oldDir = u"C:\\data\\",
          .newPath = u"C:\\other\\",
          .time = kStamp,
          .attributes = 0x20}},
        {"OnMoved",
         [&](const WatcherSlots& s) { s.OnMoved(a, b, dir, other, time, 0x20); },
         {.kind = ChangeKind::Moved,
          .name = u"b.txt",
          .dir = u"C:\\other\\",
          .oldName = u"a.txt",
          .oldDir = u"C:\\data\\",
          .time = kStamp,
          .attributes = 0x20}},
        {"OnAttributesChanged",
         [&](const WatcherSlots& s) { s.OnAttributesChanged(a, dir, 0x8000, time, 0x20); },
         {.kind = ChangeKind::AttributesChanged,
          .name = u"a.txt",
          .dir = u"C:\\data\\",
          .time = kStamp,
          .attributes = 0x20,
          .reasons = 0x8000}},
        {"OnOtherChange",
         [&](const WatcherSlots& s) { s.OnOtherChange(a, dir, 0x10000, time, 0x20); },
         {.kind = ChangeKind::Other,
          .name = u"a.txt",
          .dir = u"C:\\data\\",
          .time = kStamp,
          .attributes = 0x20,
          .reasons = 0x10000}},
    };
    for (const SlotCase& c : cases) {
        std::vector<FileChange> seen;
        c.call(ChangeSlots([&](const FileChange& change) { seen.push_back(change); }));
        EXPECT_EQ(seen, std::vector<FileChange>{c.change}) << c.slot;
    }
}

TEST(ChangeSlotsTest, OnlyTheWantedKindsGetASlotAndTheStartAlwaysDoes) {
    const auto sink = [](const FileChange&) {};
    const WatcherSlots none = ChangeSlots(sink, [](ChangeKind) { return false; });
    EXPECT_TRUE(none.OnStarted);
    EXPECT_FALSE(none.OnCreated || none.OnDeleted || none.OnContentChanged || none.OnRenamed ||
                 none.OnRecycled || none.OnMoved || none.OnAttributesChanged || none.OnOtherChange);
    const WatcherSlots moves =
        ChangeSlots(sink, [](ChangeKind kind) { return kind == ChangeKind::Moved; });
    EXPECT_TRUE(moves.OnMoved);
    EXPECT_FALSE(moves.OnRecycled || moves.OnRenamed);
}

}  // namespace
