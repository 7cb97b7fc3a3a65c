#include "engine/RecordKind.h"

#include "ntfs/JournalRecords.h"

RecordKind KindOfRecord(std::uint32_t reasons, OldNamePlace oldName, bool linkAdded) {
    if (reasons & ntfs::kReasonFileDelete) {
        return RecordKind::kDeleted;
    }
    if (reasons & ntfs::kReasonFileCreate) {
        return RecordKind::kCreated;
    }
    if (reasons & ntfs::kReasonHardLinkChange) {
        return linkAdded ? RecordKind::kLinkAdded : RecordKind::kLinkRemoved;
    }
    if (reasons & ntfs::kReasonContentGroup) {
        return RecordKind::kContentChanged;
    }
    if (reasons & ntfs::kReasonRenameNewName) {
        switch (oldName) {
            case OldNamePlace::kNone:
                return RecordKind::kMovedFromUnknown;
            case OldNamePlace::kSameDirectory:
                return RecordKind::kRenamed;
            case OldNamePlace::kOtherDirectory:
                return RecordKind::kMovedOrRecycled;
        }
    }
    if (reasons & ntfs::kReasonAttributeGroup) {
        return RecordKind::kAttributesChanged;
    }
    return RecordKind::kOther;
}
