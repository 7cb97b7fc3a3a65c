#include "report/JsonSlotWriter.h"

#include "report/JsonLine.h"

namespace {

std::uint64_t Time(const FileTime& time) {
    return static_cast<std::uint64_t>(time.ToInt64());
}

// Masks and attributes are bit sets: printed unsigned, also with the top bit (CLOSE) set.
std::uint64_t Bits(int value) {
    return static_cast<std::uint32_t>(value);
}

}  // namespace

WatcherSlots JsonSlotWriter::Slots() const {
    const auto write = [sink = sink_](const JsonLine& line) {
        sink(line.Text());
        return 0;
    };
    WatcherSlots slots;
    slots.OnStarted = [write] { return write(JsonLine("OnStarted")); };
    const auto named = [write](const char* slot) {
        return [write, slot](CWString& name, CWString& dir, FileTime& time, int attributes) {
            return write(JsonLine(slot)
                             .Add("name", name)
                             .Add("dir", dir)
                             .Add("time", Time(time))
                             .Add("attributes", Bits(attributes)));
        };
    };
    const auto withReasons = [write](const char* slot) {
        return [write, slot](CWString& name, CWString& dir, int reasons, FileTime& time,
                             int attributes) {
            return write(JsonLine(slot)
                             .Add("name", name)
                             .Add("dir", dir)
                             .Add("reasons", Bits(reasons))
                             .Add("time", Time(time))
                             .Add("attributes", Bits(attributes)));
        };
    };
    slots.OnCreated = named("OnCreated");
    slots.OnDeleted = named("OnDeleted");
    slots.OnContentChanged = withReasons("OnContentChanged");
    slots.OnRenamed = [write](CWString& oldName, CWString& newName, CWString& dir, FileTime& time,
                              int attributes) {
        return write(JsonLine("OnRenamed")
                         .Add("oldName", oldName)
                         .Add("newName", newName)
                         .Add("dir", dir)
                         .Add("time", Time(time))
                         .Add("attributes", Bits(attributes)));
    };
    slots.OnRecycled = [write](CWString& oldName, CWString& oldDir, CWString& newPath,
                               FileTime& time, int attributes) {
        return write(JsonLine("OnRecycled")
                         .Add("oldName", oldName)
                         .Add("oldDir", oldDir)
                         .Add("newPath", newPath)
                         .Add("time", Time(time))
                         .Add("attributes", Bits(attributes)));
    };
    slots.OnMoved = [write](CWString& oldName, CWString& newName, CWString& oldDir,
                            CWString& newDir, FileTime& time, int attributes) {
        return write(JsonLine("OnMoved")
                         .Add("oldName", oldName)
                         .Add("newName", newName)
                         .Add("oldDir", oldDir)
                         .Add("newDir", newDir)
                         .Add("time", Time(time))
                         .Add("attributes", Bits(attributes)));
    };
    slots.OnAttributesChanged = withReasons("OnAttributesChanged");
    slots.OnOtherChange = withReasons("OnOtherChange");
    return slots;
}
