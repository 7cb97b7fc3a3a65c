// The one line format of the window and the console program: every kind's line.

#include "report/ChangeLine.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/text/Utf8.h"

namespace {

struct LineCase {
    const char* what;
    FileChange change;
    std::string line;  // empty: no line
};

TEST(ChangeLineTest, EveryKindIsTheTimeTheKindInBracketsAndThePath) {
    const std::u16string data = u"C:\\data\\";
    const std::u16string old = u"C:\\old\\";
    std::u16string deep = u"C:\\";
    while (deep.size() <= 1100) {
        deep += u"目录" + std::u16string(120, u'x') + u"\\";
    }
    const LineCase cases[] = {
        {"created",
         {.kind = ChangeKind::Created, .name = u"a.txt", .dir = data},
         "14:03:27[新建文件] C:\\data\\a.txt"},
        {"created, directory unresolved",
         {.kind = ChangeKind::Created, .name = u"a.txt"},
         "14:03:27[新建文件] a.txt"},
        {"deleted",
         {.kind = ChangeKind::Deleted, .name = u"b 文件.txt", .dir = data},
         "14:03:27[彻底删除] C:\\data\\b 文件.txt"},
        {"content",
         {.kind = ChangeKind::ContentChanged, .name = u"a.txt", .dir = data},
         "14:03:27[文件修改] C:\\data\\a.txt"},
        {"renamed",
         {.kind = ChangeKind::Renamed, .name = u"b 文件.txt", .dir = data, .oldName = u"a.txt"},
         "14:03:27[重命名] C:\\data\\b 文件.txt  (原名:a.txt)"},
        {"recycled: the place it was taken from",
         {.kind = ChangeKind::Recycled,
          .oldName = u"a.txt",
          .oldDir = data,
          .newPath = u"C:\\$RECYCLE.BIN\\S-1-5-21-1\\$RAB12CD.txt"},
         "14:03:27[移到回收站] C:\\data\\a.txt"},
        {"moved",
         {.kind = ChangeKind::Moved,
          .name = u"b 文件.txt",
          .dir = old,
          .oldName = u"a.txt",
          .oldDir = data},
         "14:03:27[移动] C:\\old\\b 文件.txt  (原位置:C:\\data\\a.txt)"},
        {"moved from a place the watch never saw",
         {.kind = ChangeKind::Moved, .name = u"c.txt", .dir = old},
         "14:03:27[移动] C:\\old\\c.txt  (原位置:未知)"},
        {"attributes",
         {.kind = ChangeKind::AttributesChanged, .name = u"a.txt", .dir = data},
         "14:03:27[属性] C:\\data\\a.txt"},
        {"other",
         {.kind = ChangeKind::Other, .name = u"a.txt", .dir = data},
         "14:03:27[其他] C:\\data\\a.txt"},
        {"the start of a watch", {.kind = ChangeKind::Started}, ""},
        {"a wrap past the reader",
         {.kind = ChangeKind::Gap,
          .dir = u"C:\\",
          .why = static_cast<int>(JournalGap::kOverwritten)},
         "14:03:27[可能遗漏] C:\\  (更改日志在读到之前已被覆盖，其间的变化无法显示)"},
        {"a journal deleted and made again",
         {.kind = ChangeKind::Gap, .dir = u"C:\\", .why = static_cast<int>(JournalGap::kReplaced)},
         "14:03:27[可能遗漏] C:\\  (更改日志已被删除并重建，其间的变化无法显示)"},
        {"a wrap while nobody watched",
         {.kind = ChangeKind::Gap,
          .dir = u"D:\\",
          .why = static_cast<int>(JournalGap::kOverwrittenWhileAway)},
         "14:03:27[可能遗漏] D:\\  (更改日志在上次监控之后已被覆盖，其间的变化无法显示)"},
        {"the volume gone",
         {.kind = ChangeKind::Ended,
          .dir = u"C:\\",
          .why = static_cast<int>(WatchEnd::kVolumeGone)},
         "14:03:27[监控中止] C:\\  (磁盘卷已不可用)"},
        {"the journal lost",
         {.kind = ChangeKind::Ended,
          .dir = u"C:\\",
          .why = static_cast<int>(WatchEnd::kJournalUnavailable)},
         "14:03:27[监控中止] C:\\  (更改日志无法再打开)"},
        {"a removal asked for",
         {.kind = ChangeKind::Ended,
          .dir = u"E:\\",
          .why = static_cast<int>(WatchEnd::kRemovalRequested)},
         "14:03:27[监控中止] E:\\  (磁盘正在被安全移除)"},
        {"a path over 1,100 characters",
         {.kind = ChangeKind::Created, .name = u"a.txt", .dir = deep},
         "14:03:27[新建文件] " + ToUtf8(deep) + "a.txt"},
        {"moved between two paths over 1,100 characters",
         {.kind = ChangeKind::Moved,
          .name = u"b.txt",
          .dir = deep + u"new\\",
          .oldName = u"a.txt",
          .oldDir = deep},
         "14:03:27[移动] " + ToUtf8(deep) + "new\\b.txt  (原位置:" + ToUtf8(deep) + "a.txt)"},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(ToUtf8(ChangeLine(u"14:03:27", c.change)), c.line) << c.what;
    }
}

TEST(ChangeLineTest, EveryKindHasALabelButTheStartOfAWatch) {
    for (const ChangeKindNames& names : kChangeKinds) {
        EXPECT_EQ(KindLabel(names.kind).empty(), names.kind == ChangeKind::Started) << names.slot;
    }
}

}  // namespace
