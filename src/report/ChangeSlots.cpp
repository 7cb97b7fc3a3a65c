#include "report/ChangeSlots.h"

#include <utility>

namespace {

std::u16string Text(const CWString& text) {
    return std::u16string(text.View());
}

// The Usn of the record whose change the worker reports next (OnUsn comes right before the
// change's slot, on the same thread).
thread_local std::int64_t reportedUsn = 0;

}  // namespace

WatcherSlots ChangeSlots(ChangeSink sink, const KindFilter& wanted) {
    const auto want = [&wanted](ChangeKind kind) { return !wanted || wanted(kind); };
    const auto send = [sink = std::move(sink)](FileChange change) {
        sink(change);
        return 0;
    };
    const auto named = [send](ChangeKind kind) {
        return [send, kind](CWString& name, CWString& dir, FileTime& time, int attributes) {
            return send({.kind = kind,
                         .name = Text(name),
                         .dir = Text(dir),
                         .time = time.ToInt64(),
                         .usn = std::exchange(reportedUsn, 0),
                         .attributes = static_cast<std::uint32_t>(attributes)});
        };
    };
    const auto withReasons = [send](ChangeKind kind) {
        return [send, kind](CWString& name, CWString& dir, int reasons, FileTime& time,
                            int attributes) {
            return send({.kind = kind,
                         .name = Text(name),
                         .dir = Text(dir),
                         .time = time.ToInt64(),
                         .usn = std::exchange(reportedUsn, 0),
                         .attributes = static_cast<std::uint32_t>(attributes),
                         .reasons = static_cast<std::uint32_t>(reasons)});
        };
    };

    WatcherSlots slots;
    slots.OnUsn = [](std::int64_t usn) { reportedUsn = usn; };
    slots.OnStarted = [send] { return send({.kind = ChangeKind::Started}); };
    if (want(ChangeKind::Created)) {
        slots.OnCreated = named(ChangeKind::Created);
    }
    if (want(ChangeKind::Deleted)) {
        slots.OnDeleted = named(ChangeKind::Deleted);
    }
    if (want(ChangeKind::ContentChanged)) {
        slots.OnContentChanged = withReasons(ChangeKind::ContentChanged);
    }
    if (want(ChangeKind::Renamed)) {
        slots.OnRenamed = [send](CWString& oldName, CWString& newName, CWString& dir,
                                 FileTime& time, int attributes) {
            return send({.kind = ChangeKind::Renamed,
                         .name = Text(newName),
                         .dir = Text(dir),
                         .oldName = Text(oldName),
                         .time = time.ToInt64(),
                         .usn = std::exchange(reportedUsn, 0),
                         .attributes = static_cast<std::uint32_t>(attributes)});
        };
    }
    if (want(ChangeKind::Recycled)) {
        slots.OnRecycled = [send](CWString& oldName, CWString& oldDir, CWString& newPath,
                                  FileTime& time, int attributes) {
            return send({.kind = ChangeKind::Recycled,
                         .oldName = Text(oldName),
                         .oldDir = Text(oldDir),
                         .newPath = Text(newPath),
                         .time = time.ToInt64(),
                         .usn = std::exchange(reportedUsn, 0),
                         .attributes = static_cast<std::uint32_t>(attributes)});
        };
    }
    if (want(ChangeKind::Moved)) {
        slots.OnMoved = [send](CWString& oldName, CWString& newName, CWString& oldDir,
                               CWString& newDir, FileTime& time, int attributes) {
            return send({.kind = ChangeKind::Moved,
                         .name = Text(newName),
                         .dir = Text(newDir),
                         .oldName = Text(oldName),
                         .oldDir = Text(oldDir),
                         .time = time.ToInt64(),
                         .usn = std::exchange(reportedUsn, 0),
                         .attributes = static_cast<std::uint32_t>(attributes)});
        };
    }
    slots.OnGap = [send](CWString& root, JournalGap reason, std::int64_t firstLostUsn,
                         std::int64_t resumeUsn) {
        return send({.kind = ChangeKind::Gap,
                     .dir = Text(root),
                     .why = static_cast<int>(reason),
                     .firstLostUsn = firstLostUsn,
                     .resumeUsn = resumeUsn});
    };
    slots.OnEnded = [send](CWString& root, WatchEnd reason) {
        return send(
            {.kind = ChangeKind::Ended, .dir = Text(root), .why = static_cast<int>(reason)});
    };
    if (want(ChangeKind::AttributesChanged)) {
        slots.OnAttributesChanged = withReasons(ChangeKind::AttributesChanged);
    }
    if (want(ChangeKind::Other)) {
        slots.OnOtherChange = withReasons(ChangeKind::Other);
    }
    return slots;
}
