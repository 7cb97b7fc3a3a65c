#include "report/ChangeLine.h"

#include <array>

#include "report/NoticeReason.h"

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
            line.append(change.dir).append(u"  (").append(ReasonOf(change).text).append(u")");
            break;
        default:
            line.append(change.dir).append(change.name);
            break;
    }
    return line;
}
