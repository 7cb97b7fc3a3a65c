#include "report/ChangeJson.h"

#include <cstdint>

#include "report/JsonLine.h"
#include "report/NoticeReason.h"

std::string ChangeJsonLine(const FileChange& change) {
    JsonLine line(NamesOf(change.kind).slot);
    switch (change.kind) {
        case ChangeKind::Started:
            return line.Text();
        case ChangeKind::Gap:
            return line.Add("root", change.dir)
                .Add("reason", ReasonOf(change).name)
                .Add("firstLostUsn", change.firstLostUsn)
                .Add("resumeUsn", change.resumeUsn)
                .Text();
        case ChangeKind::Ended:
            return line.Add("root", change.dir).Add("reason", ReasonOf(change).name).Text();
        case ChangeKind::Renamed:
            line.Add("oldName", change.oldName).Add("newName", change.name).Add("dir", change.dir);
            break;
        case ChangeKind::Recycled:
            line.Add("oldName", change.oldName)
                .Add("oldDir", change.oldDir)
                .Add("newPath", change.newPath);
            break;
        case ChangeKind::Moved:
            line.Add("oldName", change.oldName)
                .Add("newName", change.name)
                .Add("oldDir", change.oldDir)
                .Add("newDir", change.dir);
            break;
        case ChangeKind::Created:
        case ChangeKind::Deleted:
            line.Add("name", change.name).Add("dir", change.dir);
            break;
        case ChangeKind::ContentChanged:
        case ChangeKind::AttributesChanged:
        case ChangeKind::Other:
            line.Add("name", change.name)
                .Add("dir", change.dir)
                .Add("reasons", static_cast<std::uint64_t>(change.reasons));
            break;
    }
    // Masks and attributes are bit sets: unsigned, also with the top bit (CLOSE) set.
    return line.Add("time", static_cast<std::uint64_t>(change.time))
        .Add("attributes", static_cast<std::uint64_t>(change.attributes))
        .Add("usn", change.usn)
        .Text();
}
