#include "report/JsonSlotWriter.h"

#include "report/ChangeJson.h"

WatcherSlots JsonSlotWriter::Slots(const KindFilter& wanted) const {
    return WatcherSlots::Every(
        [sink = sink_](const FileChange& change) { sink(ChangeJsonLine(change)); }, wanted);
}
