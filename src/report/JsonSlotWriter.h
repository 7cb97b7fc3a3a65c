#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "engine/WatcherSlots.h"

// Slots that write each call as its JSON line (ChangeJsonLine). The journal replay tool
// and the console program write the same lines, so that their outputs can be processed
// alike. A worker calls its slots one at a time, so one engine's lines keep call order; a
// sink shared by several engines serialises them itself.
class JsonSlotWriter {
public:
    // Takes one line, without its line end.
    using LineSink = std::function<void(const std::string& line)>;

    explicit JsonSlotWriter(LineSink sink) : sink_(std::move(sink)) {}
    // Each line followed by '\n'.
    explicit JsonSlotWriter(std::ostream& out)
        : sink_([&out](const std::string& line) { out << line << '\n'; }) {}

    WatcherSlots Slots(const KindFilter& wanted = {}) const;

private:
    LineSink sink_;
};
