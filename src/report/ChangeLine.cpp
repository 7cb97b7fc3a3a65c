#include "report/ChangeLine.h"

#include <array>

namespace {

constexpr std::array<std::u16string_view, kChangeKindCount> kLabels = {
    u"新建文件",    // Created
    u"彻底删除",    // Deleted
    u"文件修改",    // ContentChanged
    u"重命名",      // Renamed
    u"移到回收站",  // Recycled
    u"移动",        // Moved
    u"属性",        // AttributesChanged
    u"其他",        // Other
    u"",            // Started: no line
    u"可能遗漏",    // Gap
    u"监控中止",    // Ended
};

// What a notice's parentheses say.
std::u16string_view Why(const FileChange& notice) {
    if (notice.kind == ChangeKind::Gap) {
        switch (static_cast<JournalGap>(notice.why)) {
            case JournalGap::kOverwritten:
                return u"更改日志在读到之前已被覆盖，其间的变化无法显示";
            case JournalGap::kReplaced:
                return u"更改日志已被删除并重建，其间的变化无法显示";
            case JournalGap::kOverwrittenWhileAway:
                return u"更改日志在上次监控之后已被覆盖，其间的变化无法显示";
        }
        return u"其间的变化无法显示";
    }
    switch (static_cast<WatchEnd>(notice.why)) {
        case WatchEnd::kVolumeGone:
            return u"磁盘卷已不可用";
        case WatchEnd::kJournalUnavailable:
            return u"更改日志无法再打开";
        case WatchEnd::kRemovalRequested:
            return u"磁盘正在被安全移除";
    }
    return u"原因不明";
}

}  // namespace

std::u16string_view KindLabel(ChangeKind kind) {
    return kLabels[static_cast<std::size_t>(kind)];
}

std::u16string ChangeLine(std::u16string_view timeOfDay, const FileChange& change) {
    const std::u16string_view label = KindLabel(change.kind);
    if (label.empty()) {
        return {};
    }
    std::u16string line(timeOfDay);
    line.append(u"[").append(label).append(u"] ");
    switch (change.kind) {
        case ChangeKind::Renamed:
            line.append(change.dir).append(change.name);
            line.append(u"  (原名:").append(change.oldName).append(u")");
            break;
        case ChangeKind::Recycled:
            line.append(change.oldDir).append(change.oldName);
            break;
        case ChangeKind::Moved:
            line.append(change.dir).append(change.name).append(u"  (原位置:");
            // No old name: its record came before the watch began.
            if (change.oldName.empty()) {
                line.append(u"未知");
            } else {
                line.append(change.oldDir).append(change.oldName);
            }
            line.append(u")");
            break;
        case ChangeKind::Gap:
        case ChangeKind::Ended:
            line.append(change.dir).append(u"  (").append(Why(change)).append(u")");
            break;
        default:
            line.append(change.dir).append(change.name);
            break;
    }
    return line;
}
