#include "console/ChangeWriter.h"

#include "report/ChangeJson.h"
#include "report/ChangeLine.h"
#include "runtime/text/Utf8.h"

void ChangeWriter::Write(const FileChange& change) const {
    if (!kinds_.Wants(change.kind)) {
        return;
    }
    const std::u16string line = format_ == Format::kJson ? FromUtf8(ChangeJsonLine(change))
                                                         : ChangeLine(timeOfDay_(), change);
    if (!line.empty()) {
        sink_(line, change);
    }
}

WatcherSlots ChangeWriter::Slots() const {
    return WatcherSlots::Every([writer = *this](const FileChange& change) { writer.Write(change); },
                               [kinds = kinds_](ChangeKind kind) { return kinds.Wants(kind); });
}
