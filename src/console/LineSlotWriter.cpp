#include "console/LineSlotWriter.h"

WatcherSlots LineSlotWriter::Slots() const {
    // time + "[" + kind + "] " + the path, and what the change came from, if anything.
    const auto write = [sink = sink_, timeOfDay = timeOfDay_](
                           std::u16string_view kind, const CWString& dir, const CWString& name,
                           std::u16string_view after = {}) {
        std::u16string line(timeOfDay().View());
        line.append(u"[").append(kind).append(u"] ");
        line.append(dir.View()).append(name.View()).append(after);
        sink(line);
        return 0;
    };
    const auto named = [write](std::u16string_view kind) {
        return [write, kind](CWString& name, CWString& dir, FileTime&, int) {
            return write(kind, dir, name);
        };
    };
    const auto withReasons = [write](std::u16string_view kind) {
        return [write, kind](CWString& name, CWString& dir, int, FileTime&, int) {
            return write(kind, dir, name);
        };
    };
    WatcherSlots slots;
    slots.OnCreated = named(u"新建文件");
    slots.OnDeleted = named(u"彻底删除");
    slots.OnContentChanged = withReasons(u"文件修改");
    slots.OnRenamed = [write](CWString& oldName, CWString& newName, CWString& dir, FileTime&, int) {
        return write(u"重命名", dir, newName, u"  (原名:" + std::u16string(oldName.View()) + u")");
    };
    // The place the item was taken from, as the window shows it.
    slots.OnRecycled = [write](CWString& oldName, CWString& oldDir, CWString&, FileTime&, int) {
        return write(u"移到回收站", oldDir, oldName);
    };
    slots.OnMoved = [write](CWString& oldName, CWString& newName, CWString& oldDir,
                            CWString& newDir, FileTime&, int) {
        std::u16string from = u"  (原位置:";
        from.append(oldDir.View()).append(oldName.View()).append(u")");
        return write(u"移动", newDir, newName, from);
    };
    slots.OnAttributesChanged = withReasons(u"属性");
    slots.OnOtherChange = withReasons(u"其他");
    return slots;
}
