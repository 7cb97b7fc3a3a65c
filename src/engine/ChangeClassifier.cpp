#include "engine/ChangeClassifier.h"

#include <cstring>
#include <optional>

namespace {

CWString RecordName(const ntfs::UsnRecordV2& record) {
    CWString name;
    // Copied as bytes: the name's place in the batch need not be aligned for char16_t.
    name.AssignChars(reinterpret_cast<const char16_t*>(record.Name()), record.NameUnits());
    return name;
}

char16_t FoldCase(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - 0x20);
    }
    return c;
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
    const int n = scope_.recyclePath.Length();
    if (n == 0 || dir.Length() < n) {
        return false;
    }
    const char16_t* a = dir.Chars();
    const char16_t* b = scope_.recyclePath.Chars();
    for (int i = 0; i < n; ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
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
    const bool renamed = (h.Reason & ntfs::kReasonRenameNewName) != 0;
    const bool bound =
        (h.Reason & ntfs::kReasonFileCreate)     ? static_cast<bool>(slots.OnCreated)
        : (h.Reason & ntfs::kReasonFileDelete)   ? static_cast<bool>(slots.OnDeleted)
        : (h.Reason & ntfs::kReasonContentGroup) ? static_cast<bool>(slots.OnContentChanged)
        : renamed ? (slots.OnRenamed || slots.OnRecycled || slots.OnMoved)
        : (h.Reason & ntfs::kReasonAttributeGroup) ? static_cast<bool>(slots.OnAttributesChanged)
                                                   : static_cast<bool>(slots.OnOtherChange);
    if (!bound) {
        return;  // nobody listens for this kind: spare the path queries
    }

    CWString name = RecordName(record);
    CWString dir;
    ResolveDirectoryPath(parent, dir);
    FileTime time = FileTime::FromInt64(h.TimeStamp);
    const int attributes = static_cast<int>(h.FileAttributes);
    const int reasons = static_cast<int>(h.Reason);

    if (h.Reason & ntfs::kReasonFileCreate) {
        if (slots.OnCreated) {
            slots.OnCreated(name, dir, time, attributes);
        }
    } else if (h.Reason & ntfs::kReasonFileDelete) {
        if (slots.OnDeleted) {
            slots.OnDeleted(name, dir, time, attributes);
        }
    } else if (h.Reason & ntfs::kReasonContentGroup) {
        if (slots.OnContentChanged) {
            slots.OnContentChanged(name, dir, reasons, time, attributes);
        }
    } else if (h.Reason & ntfs::kReasonRenameNewName) {
        if (!old.has_value()) {
            // Its old half came before the watch began: where it came from is unknown.
            if (slots.OnMoved) {
                CWString oldName;
                CWString oldDir;
                slots.OnMoved(oldName, name, oldDir, dir, time, attributes);
            }
            return;
        }
        CWString oldName = old->name;
        if (old->parent == parent) {
            if (slots.OnRenamed) {
                slots.OnRenamed(oldName, name, dir, time, attributes);
            }
            return;
        }
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
    } else if (h.Reason & ntfs::kReasonAttributeGroup) {
        if (slots.OnAttributesChanged) {
            slots.OnAttributesChanged(name, dir, reasons, time, attributes);
        }
    } else if (slots.OnOtherChange) {
        slots.OnOtherChange(name, dir, reasons, time, attributes);
    }
}
