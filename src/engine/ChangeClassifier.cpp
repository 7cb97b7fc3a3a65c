#include "engine/ChangeClassifier.h"

#include <cstring>
#include <optional>

#include "engine/RecordKind.h"
#include "runtime/text/AsciiCase.h"

namespace {

CWString RecordName(const ntfs::UsnRecordV2& record) {
    CWString name;
    // Copied as bytes: the name's place in the batch need not be aligned for char16_t.
    name.AssignChars(reinterpret_cast<const char16_t*>(record.Name()), record.NameUnits());
    return name;
}

// Whether a slot waits for a change of this kind. A move may turn out to be a recycling
// only once its new directory's path is known, so either slot makes it worth the queries.
bool IsListenedFor(RecordKind kind, const WatcherSlots& slots) {
    switch (kind) {
        case RecordKind::kCreated:
            return static_cast<bool>(slots.OnCreated);
        case RecordKind::kDeleted:
            return static_cast<bool>(slots.OnDeleted);
        case RecordKind::kContentChanged:
            return static_cast<bool>(slots.OnContentChanged);
        case RecordKind::kRenamed:
            return static_cast<bool>(slots.OnRenamed);
        case RecordKind::kMovedOrRecycled:
            return slots.OnMoved || slots.OnRecycled;
        case RecordKind::kMovedFromUnknown:
            return static_cast<bool>(slots.OnMoved);
        case RecordKind::kAttributesChanged:
            return static_cast<bool>(slots.OnAttributesChanged);
        case RecordKind::kOther:
            return static_cast<bool>(slots.OnOtherChange);
    }
    return false;
}

}  // namespace

bool ChangeClassifier::IsInsideWatched(std::uint64_t directory) const {
    if (scope_.watchedDirs == nullptr) {
        return true;
    }
    for (int depth = 0; depth < kMaxAncestry; ++depth) {
        if (scope_.watchedDirs->count(directory) != 0) {
            return true;
        }
        std::uint64_t parent = 0;
        if (scope_.parentIndex == nullptr || !scope_.parentIndex->FindParent(directory, parent) ||
            parent == directory) {
            return false;
        }
        directory = parent;
    }
    return false;
}

void ChangeClassifier::ResolveDirectoryPath(std::uint64_t directory, CWString& path) const {
    if (!scope_.platform.HasOpenByIdCalls()) {
        return;
    }
    alignas(8) std::uint8_t buffer[kNameBufferSize] = {};
    if (scope_.platform.QueryNameById(scope_.volume, kNameQueryAccess, directory, buffer,
                                      kNameBufferSize) != 0) {
        return;
    }
    std::uint32_t nameBytes = 0;
    std::memcpy(&nameBytes, buffer, sizeof nameBytes);
    const std::uint32_t room = kNameBufferSize - ntfs::kFileNameInformationNameOffset;
    const int units = static_cast<int>((nameBytes < room ? nameBytes : room) / 2);
    const auto* name =
        reinterpret_cast<const char16_t*>(buffer + ntfs::kFileNameInformationNameOffset);
    path = scope_.rootPath;
    if (units > 1) {
        path.AppendChars(name + 1, units - 1);  // without the leading "\"
    }
    path.EnsureTrailingBackslash();
}

bool ChangeClassifier::IsRecycleFolder(const CWString& dir) const {
    return !scope_.recyclePath.IsEmpty() &&
           StartsWithIgnoringAsciiCase(dir.View(), scope_.recyclePath.View());
}

void ChangeClassifier::UpdateIndex(const ntfs::UsnRecordV2& record) {
    const ntfs::UsnRecordV2Header h = record.Header();
    if (scope_.parentIndex == nullptr || (h.FileAttributes & ntfs::kAttributeDirectory) == 0) {
        return;
    }
    // A directory created and deleted under one handle is gone: erase wins.
    if (h.Reason & ntfs::kReasonFileDelete) {
        scope_.parentIndex->Erase(h.FileReferenceNumber);
    } else if (h.Reason & ntfs::kReasonFileCreate) {
        scope_.parentIndex->Insert(h.FileReferenceNumber, h.ParentFileReferenceNumber);
    } else if (h.Reason & ntfs::kReasonRenameNewName) {
        scope_.parentIndex->Repoint(h.FileReferenceNumber, h.ParentFileReferenceNumber);
    }
}

void ChangeClassifier::ClassifyRecord(const ntfs::UsnRecordV2& record) {
    const ntfs::UsnRecordV2Header h = record.Header();
    if ((h.Reason & ntfs::kReasonClose) == 0) {
        if (h.Reason & ntfs::kReasonRenameOldName) {
            pendingRenames_.Hold(h.FileReferenceNumber,
                                 {RecordName(record), h.ParentFileReferenceNumber});
        }
        return;
    }

    // The index follows every directory, also those the ancestry test is about to drop:
    // a directory moved into the tree must be found inside it afterwards.
    UpdateIndex(record);

    const std::optional<PendingRenames::OldName> old = pendingRenames_.Take(h.FileReferenceNumber);
    const std::uint64_t parent = h.ParentFileReferenceNumber;
    const bool inside =
        IsInsideWatched(parent) || (old.has_value() && IsInsideWatched(old->parent));
    if (!inside) {
        return;
    }

    const WatcherSlots& slots = scope_.slots;
    const RecordKind kind =
        KindOfRecord(h.Reason, !old.has_value()        ? OldNamePlace::kNone
                               : old->parent == parent ? OldNamePlace::kSameDirectory
                                                       : OldNamePlace::kOtherDirectory);
    if (!IsListenedFor(kind, slots)) {
        return;  // nobody listens for this kind: spare the path queries
    }
    if (slots.OnUsn) {
        slots.OnUsn(record.Usn());
    }

    CWString name = RecordName(record);
    CWString dir;
    ResolveDirectoryPath(parent, dir);
    FileTime time = FileTime::FromInt64(h.TimeStamp);
    const int attributes = static_cast<int>(h.FileAttributes);
    const int reasons = static_cast<int>(h.Reason);

    switch (kind) {
        case RecordKind::kCreated:
            slots.OnCreated(name, dir, time, attributes);
            return;
        case RecordKind::kDeleted:
            slots.OnDeleted(name, dir, time, attributes);
            return;
        case RecordKind::kContentChanged:
            slots.OnContentChanged(name, dir, reasons, time, attributes);
            return;
        case RecordKind::kRenamed: {
            CWString oldName = old->name;
            slots.OnRenamed(oldName, name, dir, time, attributes);
            return;
        }
        case RecordKind::kMovedOrRecycled: {
            CWString oldName = old->name;
            CWString oldDir;
            ResolveDirectoryPath(old->parent, oldDir);
            if (IsRecycleFolder(dir)) {
                if (slots.OnRecycled) {
                    CWString newPath = CWString::Concat(dir, name);
                    slots.OnRecycled(oldName, oldDir, newPath, time, attributes);
                }
            } else if (slots.OnMoved) {
                slots.OnMoved(oldName, name, oldDir, dir, time, attributes);
            }
            return;
        }
        case RecordKind::kMovedFromUnknown: {
            // Where it came from is unknown: both old texts stay empty.
            CWString oldName;
            CWString oldDir;
            slots.OnMoved(oldName, name, oldDir, dir, time, attributes);
            return;
        }
        case RecordKind::kAttributesChanged:
            slots.OnAttributesChanged(name, dir, reasons, time, attributes);
            return;
        case RecordKind::kOther:
            slots.OnOtherChange(name, dir, reasons, time, attributes);
            return;
    }
}
