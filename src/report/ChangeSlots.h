#pragma once

#include <functional>

#include "engine/WatcherSlots.h"
#include "report/FileChange.h"

// Receives each change, on the engine's worker thread.
using ChangeSink = std::function<void(const FileChange& change)>;
// Whether changes of a kind are wanted; notices always are.
using KindFilter = std::function<bool(ChangeKind kind)>;

// The engine's slots for a consumer of values: every call becomes one FileChange handed
// to `sink`. The slots of unwanted kinds stay empty, so that the engine spares the work
// for changes nobody wants.
WatcherSlots ChangeSlots(ChangeSink sink, const KindFilter& wanted = {});
