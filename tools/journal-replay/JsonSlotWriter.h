#pragma once

#include <ostream>

#include "engine/WatcherSlots.h"

// Slots that write each call as one JSON line: "slot" names the slot, the other keys the
// slot's arguments (texts as UTF-8, numbers in decimal, the time as the FILETIME value).
// Called on the engine's worker only, one call at a time, so the lines keep call order.
class JsonSlotWriter {
public:
    explicit JsonSlotWriter(std::ostream& out) : out_(out) {}

    WatcherSlots Slots();

private:
    std::ostream& out_;
};
