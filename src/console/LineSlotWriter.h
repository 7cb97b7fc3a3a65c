#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/WatcherSlots.h"
#include "runtime/text/CWString.h"

// Slots that write each change as the main window writes its line: the time of day, the
// kind in brackets, one space and the full path, for example
//   14:03:27[新建文件] C:\data\a.txt
//   14:03:30[重命名] C:\data\b.txt  (原名:a.txt)
//   14:03:31[移动] C:\old\b.txt  (原位置:C:\data\b.txt)
// with three kinds the window does not show: moves, attribute changes ([属性]) and other
// changes ([其他]). The start of a watch writes no line.
class LineSlotWriter {
public:
    // Takes one line, without its line end.
    using LineSink = std::function<void(std::u16string_view line)>;
    // The time-of-day text of the moment the line is made.
    using TimeOfDay = std::function<CWString()>;

    LineSlotWriter(LineSink sink, TimeOfDay timeOfDay)
        : sink_(std::move(sink)), timeOfDay_(std::move(timeOfDay)) {}

    WatcherSlots Slots() const;

private:
    LineSink sink_;
    TimeOfDay timeOfDay_;
};
