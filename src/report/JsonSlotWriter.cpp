#include "report/JsonSlotWriter.h"

#include "report/ChangeJson.h"

WatcherSlots JsonSlotWriter::Slots(const KindFilter& wanted) const {
    return ChangeSlots([sink = sink_](const FileChange& change) { sink(ChangeJsonLine(change)); },
                       wanted);
}
