#include "engine/ChangeClassifier.h"

#include <algorithm>
#include <cstring>

#include "ntfs/Win32Codes.h"
#include "runtime/text/AsciiCase.h"

namespace {

std::u16string RecordName(const ntfs::UsnRecordV2& record) {
    std::u16string name;
    record.CopyName(name);
    return name;
}

// The kind a record of this kind is reported as; a move may still turn out to be a
// recycling once its new directory's path is known.
ChangeKind ReportedAs(RecordKind kind) {
    switch (kind) {
        case RecordKind::kCreated:
        case RecordKind::kLinkAdded:
            return ChangeKind::Created;
        case RecordKind::kDeleted:
        case RecordKind::kLinkRemoved:
            return ChangeKind::Deleted;
        case RecordKind::kContentChanged:
            return ChangeKind::ContentChanged;
        case RecordKind::kRenamed:
            return ChangeKind::Renamed;
        case RecordKind::kMovedOrRecycled:
        case RecordKind::kMovedFromUnknown:
            return ChangeKind::Moved;
        case RecordKind::kAttributesChanged:
            return ChangeKind::AttributesChanged;
        case RecordKind::kOther:
            break;
    }
    return ChangeKind::Other;
}

// Whether anyone wants a change of this kind now: otherwise its paths are spared.
bool IsWanted(RecordKind kind, const WatcherSlots& slots) {
    return slots.Wants(ReportedAs(kind)) ||
           (kind == RecordKind::kMovedOrRecycled && slots.Wants(ChangeKind::Recycled));
}

OldNamePlace PlaceOf(const std::optional<PendingNames::Name>& old, std::uint64_t parent) {
    if (!old) {
        return OldNamePlace::kNone;
    }
    return old->parent == parent ? OldNamePlace::kSameDirectory : OldNamePlace::kOtherDirectory;
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

void ChangeClassifier::ResolveDirectoryPath(std::uint64_t directory, std::u16string& path) {
    ++pathsBuilt_;
    if (!PathFromIndex(directory, path)) {
        PathFromPlatform(directory, path);
    }
}

bool ChangeClassifier::PathFromIndex(std::uint64_t directory, std::u16string& path) {
    if (scope_.parentIndex == nullptr) {
        return false;
    }
    pathNames_.clear();
    for (int depth = 0; depth < kMaxAncestry; ++depth) {
        if (directory == ntfs::kRootFileReference) {
            path = scope_.rootPath;
            for (auto name = pathNames_.rbegin(); name != pathNames_.rend(); ++name) {
                path.append(*name).push_back(u'\\');
            }
            return true;
        }
        std::uint64_t parent = 0;
        std::u16string_view name;
        if (!scope_.parentIndex->FindEntry(directory, parent, name) || name.empty()) {
            return false;  // not known, or known without its name
        }
        pathNames_.push_back(name);
        directory = parent;
    }
    return false;  // a loop of parents
}

void ChangeClassifier::PathFromPlatform(std::uint64_t directory, std::u16string& path) const {
    if (!scope_.platform.HasOpenByIdCalls()) {
        return;
    }
    std::vector<std::uint8_t> buffer(kNameBufferSize);
    std::uint32_t nameBytes = 0;
    for (;;) {
        const std::int32_t status =
            scope_.platform.QueryNameById(scope_.volume, kNameQueryAccess, directory, buffer.data(),
                                          static_cast<std::uint32_t>(buffer.size()));
        if (status != win32::kStatusSuccess && status != win32::kStatusBufferOverflow) {
            return;
        }
        std::memcpy(&nameBytes, buffer.data(), sizeof nameBytes);
        if (status == win32::kStatusSuccess) {
            break;
        }
        // Too long for the buffer: FileNameLength says how long the whole name is. Asked
        // again with that room; a name that grew meanwhile takes one more round.
        const std::size_t needed = ntfs::kFileNameInformationNameOffset + std::size_t{nameBytes};
        if (needed <= buffer.size() || needed > kLongestNameQuery) {
            return;  // no more room asked for than given, or more than any path needs
        }
        buffer.assign(needed, 0);
    }
    const std::size_t room = buffer.size() - ntfs::kFileNameInformationNameOffset;
    const std::size_t units = std::min<std::size_t>(nameBytes, room) / 2;
    std::u16string name(units, u'\0');
    std::memcpy(name.data(), buffer.data() + ntfs::kFileNameInformationNameOffset, units * 2);
    path = scope_.rootPath;
    if (units > 1) {
        path.append(name, 1);  // without the leading "\"
    }
    if (path.back() != u'\\') {
        path.push_back(u'\\');
    }
}

bool ChangeClassifier::IsRecycleFolder(std::u16string_view dir) const {
    // Every user's recycle bin: a folder named by the user's SID (S-1-5-21-…) directly
    // under the volume's $RECYCLE.BIN, whatever letter case the volume gave that.
    constexpr std::u16string_view kBin = u"$RECYCLE.BIN\\";
    std::u16string_view rest = dir;
    const std::u16string_view root = scope_.rootPath;
    if (!StartsWithIgnoringAsciiCase(rest, root) ||
        !StartsWithIgnoringAsciiCase(rest.substr(root.size()), kBin)) {
        return false;
    }
    rest.remove_prefix(root.size() + kBin.size());
    return rest.size() > 3 && StartsWithIgnoringAsciiCase(rest, u"S-") &&
           rest.find(u'\\') == rest.size() - 1;
}

void ChangeClassifier::FollowDirectory(const ntfs::UsnRecordV2& record,
                                       const ntfs::UsnRecordV2Header& h) {
    // A directory created, or given a new name or parent, takes them at once: a change
    // in it after this record is made under its new path. An old-name record names
    // what was.
    constexpr std::uint32_t kNamed = ntfs::kReasonFileCreate | ntfs::kReasonRenameNewName;
    if (scope_.parentIndex == nullptr || (h.FileAttributes & ntfs::kAttributeDirectory) == 0 ||
        (h.Reason & kNamed) == 0 || (h.Reason & ntfs::kReasonRenameOldName) != 0) {
        return;
    }
    record.CopyName(recordName_);
    scope_.parentIndex->Set(h.FileReferenceNumber, h.ParentFileReferenceNumber, recordName_);
}

void ChangeClassifier::ClassifyRecord(const ntfs::UsnRecordV2& record) {
    const ntfs::UsnRecordV2Header h = record.Header();
    // The index follows every directory, also those the ancestry test is about to drop:
    // a directory moved into the tree must be found inside it afterwards.
    FollowDirectory(record, h);
    if ((h.Reason & ntfs::kReasonClose) == 0) {
        if (h.Reason & ntfs::kReasonRenameOldName) {
            pendingNames_.HoldOldName(h.FileReferenceNumber,
                                      {RecordName(record), h.ParentFileReferenceNumber});
        } else if (h.Reason & ntfs::kReasonHardLinkChange) {
            // The first record that carries the bit before the close: a link added, named
            // by this record.
            pendingNames_.HoldAddedLink(h.FileReferenceNumber,
                                        {RecordName(record), h.ParentFileReferenceNumber});
        }
        return;
    }

    Report(record, h, pendingNames_.Take(h.FileReferenceNumber));

    // A deleted directory leaves only now: its own line, and the lines of the files
    // deleted in it before, were made under its path.
    if (scope_.parentIndex != nullptr && (h.FileAttributes & ntfs::kAttributeDirectory) != 0 &&
        (h.Reason & ntfs::kReasonFileDelete) != 0) {
        scope_.parentIndex->Erase(h.FileReferenceNumber);
    }
}

void ChangeClassifier::Report(const ntfs::UsnRecordV2& record, const ntfs::UsnRecordV2Header& h,
                              const PendingNames::Held& held) {
    const std::optional<PendingNames::Name>& old = held.oldName;
    const RecordKind kind = KindOfRecord(h.Reason, PlaceOf(old, h.ParentFileReferenceNumber),
                                         held.addedLink.has_value());
    // A link added is the new name, wherever the closing record names the file.
    const bool linkAdded = kind == RecordKind::kLinkAdded;
    const std::uint64_t parent = linkAdded ? held.addedLink->parent : h.ParentFileReferenceNumber;
    const bool inside = IsInsideWatched(parent) || (old && IsInsideWatched(old->parent));
    const WatcherSlots& slots = scope_.slots;
    if (!inside || !IsWanted(kind, slots)) {
        return;  // outside, or nobody wants this kind now: spare the paths
    }

    FileChange change{.kind = ReportedAs(kind),
                      .name = linkAdded ? held.addedLink->name : RecordName(record),
                      .time = h.TimeStamp,
                      .usn = record.Usn(),
                      .attributes = h.FileAttributes};
    ResolveDirectoryPath(parent, change.dir);
    switch (kind) {
        case RecordKind::kContentChanged:
        case RecordKind::kAttributesChanged:
        case RecordKind::kOther:
            change.reasons = h.Reason;
            break;
        case RecordKind::kRenamed:
            change.oldName = old->name;
            break;
        case RecordKind::kMovedOrRecycled:
            change.oldName = old->name;
            ResolveDirectoryPath(old->parent, change.oldDir);
            if (IsRecycleFolder(change.dir)) {
                // Named by where it was taken from; its place in the bin beside that.
                change.kind = ChangeKind::Recycled;
                change.newPath = std::move(change.dir) + change.name;
                change.dir.clear();
                change.name.clear();
            }
            break;
        default:
            break;  // a move from where the watch never saw: both old texts stay empty
    }
    if (slots.Wants(change.kind)) {
        slots.Report(change);
    }
}
