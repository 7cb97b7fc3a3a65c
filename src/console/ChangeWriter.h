#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "console/ChangeKindSet.h"
#include "engine/FileChange.h"
#include "engine/WatcherSlots.h"

// What the console program writes for each of the engine's calls: the window's line
// (ChangeLine), or with --json the JSON line (ChangeJsonLine), for the kinds asked for.
// The start of a watch has no line of its own in the window's format; in JSON it is
// written but is no change, so --count does not count it.
class ChangeWriter {
public:
    enum class Format { kLines, kJson };
    // Takes one line, without its line end, and the change (or notice) it tells.
    using LineSink = std::function<void(std::u16string_view line, const FileChange& change)>;
    // The time-of-day text of the moment a line is made.
    using TimeOfDay = std::function<std::u16string()>;

    ChangeWriter(Format format, ChangeKindSet kinds, TimeOfDay timeOfDay, LineSink sink)
        : format_(format),
          kinds_(kinds),
          timeOfDay_(std::move(timeOfDay)),
          sink_(std::move(sink)) {}

    void Write(const FileChange& change) const;
    // The engine's slots, writing through this writer, which they copy.
    WatcherSlots Slots() const;

private:
    Format format_;
    ChangeKindSet kinds_;
    TimeOfDay timeOfDay_;
    LineSink sink_;
};
