#include "sim/SimNtfs.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "sim/SimNames.h"

namespace {

using ntfs::kReasonClose;
using ntfs::kReasonDataExtend;
using ntfs::kReasonDataOverwrite;
using ntfs::kReasonDataTruncation;
using ntfs::kReasonFileCreate;
using ntfs::kReasonFileDelete;
using ntfs::kReasonHardLinkChange;
using ntfs::kReasonRenameNewName;
using ntfs::kReasonRenameOldName;

constexpr std::uint32_t kNone = SimFileTable::kNone;
constexpr std::uint32_t kRootRecord = SimFileTable::kRootRecord;
constexpr std::uint32_t kRecycleFolderAttributes =
    ntfs::kAttributeHidden | ntfs::kAttributeSystem | ntfs::kAttributeDirectory;
// NTFS keeps at most this many names for one file (ERROR_TOO_MANY_LINKS beyond).
constexpr std::uint16_t kMaxLinks = 1024;
// Data up to this size lives in the file's MFT record; writing it only extends the
// file. Larger data lives in clusters, and writing it is an overwrite too.
constexpr std::uint64_t kResidentDataLimit = 700;
constexpr std::size_t kMaxDepth = 4096;

// The path's names, split at \ and /; "." and empty names dropped.
std::vector<std::u16string_view> SplitPath(std::u16string_view path) {
    std::vector<std::u16string_view> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos) {
            end = path.size();
        }
        const std::u16string_view name = path.substr(start, end - start);
        if (!name.empty() && name != u".") {
            names.push_back(name);
        }
        start = end + 1;
    }
    return names;
}

// Size of a $I… file: version, size, time, name length, then the original path.
std::uint64_t InfoFileSize(std::size_t pathUnits) {
    return 28 + 2 * (pathUnits + 3);
}

}  // namespace

SimNtfs::SimNtfs(std::shared_ptr<SimClock> clock, std::uint64_t seed)
    : clock_(clock ? std::move(clock) : std::make_shared<SimClock>()), random_(seed) {
    journal_.Create(NewJournalId(), 0, 0);
}

// ---- Lookups

std::uint64_t SimNtfs::Lookup(std::u16string_view path) const {
    const std::uint32_t record = Walk(SplitPath(path));
    return record == kNone ? 0 : files_.ReferenceOf(record);
}

std::uint64_t SimNtfs::ChildByName(std::uint64_t dir, std::u16string_view name) const {
    const std::uint32_t parent = DirectoryRecord(dir);
    if (parent == kNone) {
        return 0;
    }
    const std::uint32_t record = files_.FindChild(parent, name);
    return record == kNone ? 0 : files_.ReferenceOf(record);
}

std::vector<std::pair<std::uint64_t, std::u16string>> SimNtfs::Children(std::uint64_t dir) const {
    std::vector<std::pair<std::uint64_t, std::u16string>> children;
    const std::uint32_t record = DirectoryRecord(dir);
    if (record == kNone) {
        return children;
    }
    for (auto& [child, name] : files_.ChildrenOf(record)) {
        children.emplace_back(files_.ReferenceOf(child), std::move(name));
    }
    return children;
}

std::optional<std::u16string> SimNtfs::PathOf(std::uint64_t reference) const {
    const std::uint32_t record = files_.RecordOf(reference);
    std::u16string path;
    if (record == kNone || !files_.PathOf(record, path)) {
        return std::nullopt;
    }
    return path;
}

std::optional<SimFileInfo> SimNtfs::Info(std::uint64_t reference) const {
    const std::uint32_t record = files_.RecordOf(reference);
    if (record == kNone) {
        return std::nullopt;
    }
    const SimFileTable::Entry& entry = files_.At(record);
    SimFileInfo info;
    info.reference = reference;
    info.parent = files_.ReferenceOf(entry.parent);
    info.name = files_.NameOf(record);
    info.attributes = entry.attributes;
    info.size = entry.size;
    info.lastUsn = entry.lastUsn;
    info.links = entry.linkCount;
    info.openHandles = entry.openCount;
    return info;
}

std::vector<std::u16string> SimNtfs::PathsOf(std::uint64_t reference) const {
    std::vector<std::u16string> paths;
    const std::uint32_t record = files_.RecordOf(reference);
    if (record == kRootRecord) {
        paths.emplace_back(u"\\");
    }
    if (record == kNone || record == kRootRecord) {
        return paths;
    }
    for (const SimFileTable::Link& link : files_.LinksOf(record)) {
        std::u16string path;
        if (files_.PathOf(link.parent, path)) {
            paths.push_back(path == u"\\" ? path + link.name : path + u'\\' + link.name);
        }
    }
    return paths;
}

std::uint32_t SimNtfs::DeniedRights(std::uint64_t reference) const {
    const auto rule = deniedRights_.find(reference);
    return rule == deniedRights_.end() ? 0 : rule->second;
}

// ---- Handles

SimNtfs::Opened SimNtfs::Open(std::uint64_t reference) {
    const std::uint32_t record = files_.RecordOf(reference);
    const std::uint64_t id = record == kNone ? 0 : OpenFirstName(record);
    return id == 0 ? Opened{} : Opened{id, reference};
}

SimNtfs::Opened SimNtfs::OpenPath(std::u16string_view path) {
    const std::vector<std::u16string_view> names = SplitPath(path);
    if (names.empty() || names.back() == u"..") {
        const std::uint32_t record = Walk(names);
        const std::uint64_t id = record == kNone ? 0 : OpenFirstName(record);
        return id == 0 ? Opened{} : Opened{id, files_.ReferenceOf(record)};
    }
    const std::uint32_t parent = Walk(std::span(names).first(names.size() - 1));
    const std::uint32_t record = parent == kNone ? kNone : files_.FindChild(parent, names.back());
    if (record == kNone) {
        return {};
    }
    // Open through the name as the directory holds it, whatever letter case was asked.
    for (const SimFileTable::Link& link : files_.LinksOf(record)) {
        if (link.parent == parent && sim_names::Equal(link.name, names.back())) {
            const std::uint64_t id = OpenName(record, parent, link.name);
            return id == 0 ? Opened{} : Opened{id, files_.ReferenceOf(record)};
        }
    }
    return {};
}

SimNtfs::Opened SimNtfs::CreateOpen(std::uint64_t parent, std::u16string_view name,
                                    std::uint32_t attributes) {
    const std::uint32_t dir = DirectoryRecord(parent);
    const std::uint64_t id = dir == kNone ? 0 : CreateIn(dir, name, attributes);
    return id == 0 ? Opened{} : Opened{id, files_.ReferenceOf(handles_.at(id).record)};
}

bool SimNtfs::Write(std::uint64_t handle, std::uint64_t offset, std::uint64_t length) {
    Handle* open = FindHandle(handle);
    return open != nullptr && WriteThrough(*open, offset, length);
}

bool SimNtfs::SetLength(std::uint64_t handle, std::uint64_t length) {
    Handle* open = FindHandle(handle);
    return open != nullptr && SetLengthThrough(*open, length);
}

bool SimNtfs::Rename(std::uint64_t handle, std::uint64_t newParent, std::u16string_view newName,
                     bool replaceExisting) {
    const std::u16string name(newName);  // the view may name what the rename changes
    Handle* open = FindHandle(handle);
    const std::uint32_t dir = DirectoryRecord(newParent);
    return open != nullptr && dir != kNone && RenameThrough(*open, dir, name, replaceExisting);
}

bool SimNtfs::SetAttributes(std::uint64_t handle, std::uint32_t attributes) {
    Handle* open = FindHandle(handle);
    return open != nullptr && SetAttributesThrough(*open, attributes);
}

bool SimNtfs::NoteChange(std::uint64_t handle, std::uint32_t reasons) {
    Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return false;
    }
    Note(*open, reasons & ~kReasonClose);  // the close is the close's own
    return true;
}

bool SimNtfs::AddHardLink(std::uint64_t handle, std::uint64_t parent, std::u16string_view name) {
    const std::u16string copy(name);  // the view may name what the link changes
    Handle* open = FindHandle(handle);
    const std::uint32_t dir = DirectoryRecord(parent);
    return open != nullptr && dir != kNone && AddHardLinkThrough(*open, dir, copy);
}

bool SimNtfs::MarkForDelete(std::uint64_t handle) {
    Handle* open = FindHandle(handle);
    return open != nullptr && MarkForDeleteThrough(*open);
}

// ---- Operations

std::uint64_t SimNtfs::MakeDirectory(std::uint64_t parent, std::u16string_view name) {
    const std::uint32_t dir = DirectoryRecord(parent);
    const std::uint64_t id = dir == kNone ? 0 : CreateIn(dir, name, ntfs::kAttributeDirectory);
    if (id == 0) {
        return 0;
    }
    const std::uint32_t record = handles_.at(id).record;
    Close(id);
    return files_.ReferenceOf(record);
}

std::uint64_t SimNtfs::MakeDirectories(std::u16string_view path) {
    std::uint32_t dir = kRootRecord;
    for (const std::u16string_view name : SplitPath(path)) {
        if (name == u"..") {
            dir = files_.At(dir).parent;
            continue;
        }
        dir = EnsureDirectory(dir, name, ntfs::kAttributeDirectory);
        if (dir == kNone) {
            return 0;
        }
    }
    return files_.ReferenceOf(dir);
}

std::uint64_t SimNtfs::MakeFile(std::uint64_t parent, std::u16string_view name,
                                std::uint64_t bytes) {
    const std::uint32_t dir = DirectoryRecord(parent);
    const std::uint64_t id = dir == kNone ? 0 : CreateIn(dir, name, ntfs::kAttributeArchive);
    if (id == 0) {
        return 0;
    }
    Handle& handle = handles_.at(id);
    const std::uint32_t record = handle.record;
    if (bytes != 0) {
        WriteThrough(handle, 0, bytes);
    }
    Close(id);
    return files_.ReferenceOf(record);
}

bool SimNtfs::Delete(std::uint64_t item) {
    const std::uint32_t record = files_.RecordOf(item);
    if (record == kNone) {
        return false;
    }
    const std::u16string name(files_.NameOf(record));
    return DeleteName(record, files_.At(record).parent, name);
}

bool SimNtfs::DeleteTree(std::uint64_t item) {
    const std::uint32_t record = files_.RecordOf(item);
    return record != kNone && DeleteTreeAt(record);
}

SimRecycled SimNtfs::Recycle(std::uint64_t item, std::u16string_view sid) {
    const std::uint32_t record = files_.RecordOf(item);
    if (record == kNone || record == kRootRecord || !sim_names::IsValid(sid) ||
        files_.At(record).deletePending) {
        return {};
    }
    const std::uint32_t bin =
        EnsureDirectory(kRootRecord, kRecycleBinName, kRecycleFolderAttributes);
    const std::uint32_t folder =
        bin == kNone ? kNone : EnsureDirectory(bin, sid, kRecycleFolderAttributes);
    if (folder == kNone || files_.IsWithin(folder, record)) {
        return {};
    }

    // Six letters or digits shared by the $I and $R names, free in the folder.
    const std::u16string_view extension = sim_names::Extension(files_.NameOf(record));
    std::u16string infoName;
    std::u16string itemName;
    do {
        std::u16string suffix;
        for (int i = 0; i < 6; ++i) {
            suffix += u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"[NextRandom() % 36];
        }
        infoName = u"$I" + suffix + std::u16string(extension);
        itemName = u"$R" + suffix + std::u16string(extension);
    } while (files_.FindChild(folder, infoName) != kNone ||
             files_.FindChild(folder, itemName) != kNone);
    if (!sim_names::IsValid(itemName)) {
        return {};
    }

    std::u16string originalPath;
    files_.PathOf(record, originalPath);
    const std::uint64_t info = CreateIn(folder, infoName, ntfs::kAttributeArchive);
    if (info == 0) {
        return {};
    }
    const std::uint32_t infoRecord = handles_.at(info).record;
    WriteThrough(handles_.at(info), 0, InfoFileSize(originalPath.size() + 2));
    Close(info);

    const std::uint64_t moved = OpenFirstName(record);
    if (moved == 0) {
        return {};
    }
    const bool renamed = RenameThrough(handles_.at(moved), folder, itemName, false);
    Close(moved);
    if (!renamed) {
        return {};
    }

    // The item takes the recycle bin's security; inherited by everything below it.
    std::vector<Visit> visits = Below(record);
    visits.push_back({record, folder, itemName});
    for (const Visit& visit : visits) {
        const std::uint64_t id = OpenName(visit.record, visit.parent, visit.name);
        if (id != 0) {
            Note(handles_.at(id), ntfs::kReasonSecurityChange);
            Close(id);
        }
    }
    return {item, files_.ReferenceOf(infoRecord), files_.ReferenceOf(folder), itemName};
}

bool SimNtfs::EmptyRecycleBin(std::u16string_view sid) {
    const std::uint32_t folder = RecycleFolderRecord(sid);
    if (folder == kNone) {
        return false;
    }
    bool emptied = true;
    for (const auto& [record, name] : files_.ChildrenOf(folder)) {
        emptied = (files_.IsDirectory(record) ? DeleteTreeAt(record)
                                              : DeleteName(record, folder, name)) &&
                  emptied;
    }
    return emptied;
}

std::uint64_t SimNtfs::RecycleFolder(std::u16string_view sid) const {
    const std::uint32_t folder = RecycleFolderRecord(sid);
    return folder == kNone ? 0 : files_.ReferenceOf(folder);
}

void SimNtfs::DenyAccess(std::uint64_t reference, std::uint32_t rights) {
    deniedRights_[reference] |= rights;
}

// ---- Entries without records

std::uint64_t SimNtfs::AddExisting(std::uint64_t parent, std::u16string_view name,
                                   std::uint32_t attributes, std::uint64_t size) {
    const std::uint32_t dir = DirectoryRecord(parent);
    if (dir == kNone || !sim_names::IsValid(name) || files_.FindChild(dir, name) != kNone) {
        return 0;
    }
    const std::uint32_t record = files_.Allocate(attributes);
    files_.AddLink(record, dir, name);
    if (!files_.IsDirectory(record)) {
        files_.At(record).size = size;
    }
    return files_.ReferenceOf(record);
}

bool SimNtfs::PlaceExisting(std::uint64_t reference, std::uint64_t parent, std::u16string_view name,
                            std::uint32_t attributes) {
    const std::uint32_t dir = DirectoryRecord(parent);
    if (dir == kNone || name.empty() || name.size() > 255 || files_.FindChild(dir, name) != kNone ||
        !files_.Place(reference, attributes)) {
        return false;
    }
    files_.AddLink(static_cast<std::uint32_t>(reference & 0xFFFFFFFFFFFFULL), dir, name);
    return true;
}

// ---- Through a handle, and the tree

std::uint64_t SimNtfs::OpenName(std::uint32_t record, std::uint32_t parent,
                                std::u16string_view name) {
    SimFileTable::Entry& entry = files_.At(record);
    if (!entry.inUse || entry.deletePending) {
        return 0;  // STATUS_DELETE_PENDING
    }
    ++entry.openCount;
    const std::uint64_t id = nextHandleId_++;
    handles_.emplace(id, Handle{record, parent, std::u16string(name)});
    return id;
}

std::uint64_t SimNtfs::OpenFirstName(std::uint32_t record) {
    const std::u16string name(files_.NameOf(record));
    return OpenName(record, files_.At(record).parent, name);
}

std::uint64_t SimNtfs::CreateIn(std::uint32_t parent, std::u16string_view name,
                                std::uint32_t attributes) {
    if (!sim_names::IsValid(name) || files_.FindChild(parent, name) != kNone ||
        files_.At(parent).deletePending) {
        return 0;
    }
    const std::u16string copy(name);
    const std::uint32_t record = files_.Allocate(attributes);
    files_.AddLink(record, parent, copy);
    const std::uint64_t id = OpenName(record, parent, copy);
    Note(handles_.at(id), kReasonFileCreate);
    return id;
}

SimNtfs::Handle* SimNtfs::FindHandle(std::uint64_t id) {
    const auto it = handles_.find(id);
    return it == handles_.end() ? nullptr : &it->second;
}

bool SimNtfs::WriteThrough(Handle& handle, std::uint64_t offset, std::uint64_t length) {
    if (files_.IsDirectory(handle.record)) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (length > UINT64_MAX - offset) {
        return false;  // past the largest file offset
    }
    SimFileTable::Entry& entry = files_.At(handle.record);
    const std::uint64_t end = offset + length;
    const bool overwrites = offset < entry.size || end > kResidentDataLimit;
    if (end > entry.size) {
        entry.size = end;
        Note(handle, kReasonDataExtend);
    }
    if (overwrites) {
        Note(handle, kReasonDataOverwrite);
    }
    return true;
}

bool SimNtfs::SetLengthThrough(Handle& handle, std::uint64_t length) {
    if (files_.IsDirectory(handle.record)) {
        return false;
    }
    SimFileTable::Entry& entry = files_.At(handle.record);
    if (length != entry.size) {
        const std::uint32_t reason =
            length > entry.size ? kReasonDataExtend : kReasonDataTruncation;
        entry.size = length;
        Note(handle, reason);
    }
    return true;
}

bool SimNtfs::RenameThrough(Handle& handle, std::uint32_t newParent, std::u16string_view newName,
                            bool replaceExisting) {
    const std::uint32_t record = handle.record;
    if (record == kRootRecord || !sim_names::IsValid(newName) || !files_.IsDirectory(newParent) ||
        files_.At(newParent).deletePending ||
        (files_.IsDirectory(record) && files_.IsWithin(newParent, record))) {
        return false;
    }
    const std::uint32_t existing = files_.FindChild(newParent, newName);
    if (existing != kNone && existing != record) {
        const SimFileTable::Entry& target = files_.At(existing);
        if (!replaceExisting || files_.IsDirectory(existing) || target.openCount > 0) {
            return false;
        }
        for (const SimFileTable::Link& link : files_.LinksOf(existing)) {
            if (link.parent == newParent && sim_names::Equal(link.name, newName)) {
                DeleteName(existing, newParent, link.name);
                break;
            }
        }
    }

    const std::uint32_t oldParent = handle.parent;
    const std::u16string oldName = handle.name;
    const std::u16string name(newName);
    SimFileTable::Entry& entry = files_.At(record);
    // The old-name record carries what the file gathered so far, but the bit itself is
    // not kept.
    Emit(record, oldParent, oldName, entry.reasons | kReasonRenameOldName);
    files_.RenameLink(record, oldParent, oldName, newParent, name);
    for (auto& [id, other] : handles_) {
        if (other.record == record && other.parent == oldParent &&
            sim_names::Equal(other.name, oldName)) {
            other.parent = newParent;
            other.name = name;
        }
    }
    // Always written, even when an earlier rename already gathered the bit.
    files_.At(record).reasons |= kReasonRenameNewName;
    Emit(record, newParent, name, files_.At(record).reasons);
    return true;
}

bool SimNtfs::SetAttributesThrough(Handle& handle, std::uint32_t attributes) {
    SimFileTable::Entry& entry = files_.At(handle.record);
    const std::uint32_t directory = entry.attributes & ntfs::kAttributeDirectory;
    entry.attributes = (attributes & ~ntfs::kAttributeDirectory) | directory;
    Note(handle, ntfs::kReasonBasicInfoChange);
    return true;
}

bool SimNtfs::AddHardLinkThrough(Handle& handle, std::uint32_t parent, std::u16string_view name) {
    if (files_.IsDirectory(handle.record) || files_.At(handle.record).linkCount >= kMaxLinks ||
        !sim_names::IsValid(name) || files_.FindChild(parent, name) != kNone ||
        files_.At(parent).deletePending) {
        return false;
    }
    files_.AddLink(handle.record, parent, name);
    SimFileTable::Entry& entry = files_.At(handle.record);
    entry.reasons |= kReasonHardLinkChange;
    // The one record that names the new link. The handle keeps the name it was opened
    // through: a delete through it removes that one, and its closing record names the
    // file by it, not by the link.
    Emit(handle.record, parent, name, entry.reasons);
    return true;
}

bool SimNtfs::MarkForDeleteThrough(Handle& handle) {
    if (handle.record == kRootRecord ||
        (files_.IsDirectory(handle.record) && files_.HasChildren(handle.record))) {
        return false;  // STATUS_DIRECTORY_NOT_EMPTY
    }
    handle.deleteOnClose = true;
    return true;
}

void SimNtfs::Close(std::uint64_t id) {
    const auto it = handles_.find(id);
    if (it == handles_.end()) {
        return;
    }
    const Handle handle = std::move(it->second);
    handles_.erase(it);
    const std::uint32_t record = handle.record;
    SimFileTable::Entry& entry = files_.At(record);
    if (handle.deleteOnClose) {
        if (entry.linkCount > 1) {
            // One name of several goes now; the file stays.
            files_.RemoveLink(record, handle.parent, handle.name);
            entry.reasons |= kReasonHardLinkChange;
        } else {
            entry.deletePending = true;
        }
    }
    if (--entry.openCount > 0) {
        return;
    }
    if (entry.deletePending && files_.IsDirectory(record) && files_.HasChildren(record)) {
        entry.deletePending = false;  // something was created in it meanwhile
    }
    if (entry.deletePending) {
        entry.reasons |= kReasonFileDelete;
    }
    if (entry.reasons != 0) {
        Emit(record, handle.parent, handle.name, entry.reasons | kReasonClose);
    }
    entry.reasons = 0;
    if (entry.deletePending) {
        for (const SimFileTable::Link& link : files_.LinksOf(record)) {
            files_.RemoveLink(record, link.parent, link.name);
        }
        files_.Free(record);
    }
}

void SimNtfs::Note(const Handle& handle, std::uint32_t reasons) {
    SimFileTable::Entry& entry = files_.At(handle.record);
    const std::uint32_t gathered = entry.reasons | reasons;
    if (gathered != entry.reasons) {
        entry.reasons = gathered;
        Emit(handle.record, handle.parent, handle.name, gathered);
    }
}

void SimNtfs::Emit(std::uint32_t record, std::uint32_t parent, std::u16string_view name,
                   std::uint32_t reason) {
    SimRecord emitted;
    emitted.fileReference = files_.ReferenceOf(record);
    emitted.parentReference = files_.ReferenceOf(parent);
    emitted.timeStamp = clock_->Stamp();
    emitted.reason = reason;
    emitted.attributes = files_.At(record).attributes;
    emitted.name = name;
    const std::int64_t usn = journal_.Append(emitted.Encode(), true);
    if (usn >= 0) {
        files_.At(record).lastUsn = usn;
    }
}

bool SimNtfs::DeleteName(std::uint32_t record, std::uint32_t parent, std::u16string_view name) {
    const std::uint64_t id = OpenName(record, parent, name);
    if (id == 0) {
        return false;
    }
    const bool marked = MarkForDeleteThrough(handles_.at(id));
    Close(id);
    return marked;
}

bool SimNtfs::DeleteTreeAt(std::uint32_t record) {
    if (record == kRootRecord) {
        return false;
    }
    std::vector<Visit> visits = Below(record);
    visits.push_back({record, files_.At(record).parent, std::u16string(files_.NameOf(record))});
    const std::uint64_t reference = files_.ReferenceOf(record);
    for (const Visit& visit : visits) {
        DeleteName(visit.record, visit.parent, visit.name);
    }
    return files_.RecordOf(reference) == kNone;
}

std::uint32_t SimNtfs::Walk(std::span<const std::u16string_view> names) const {
    std::uint32_t record = kRootRecord;
    for (const std::u16string_view name : names) {
        record = name == u".." ? files_.At(record).parent : files_.FindChild(record, name);
        if (record == kNone) {
            return kNone;
        }
    }
    return record;
}

std::uint32_t SimNtfs::DirectoryRecord(std::uint64_t reference) const {
    const std::uint32_t record = files_.RecordOf(reference);
    return record != kNone && files_.IsDirectory(record) ? record : kNone;
}

std::uint32_t SimNtfs::EnsureDirectory(std::uint32_t parent, std::u16string_view name,
                                       std::uint32_t attributes) {
    const std::uint32_t existing = files_.FindChild(parent, name);
    if (existing != kNone) {
        return files_.IsDirectory(existing) ? existing : kNone;
    }
    const std::uint64_t id = CreateIn(parent, name, attributes | ntfs::kAttributeDirectory);
    if (id == 0) {
        return kNone;
    }
    const std::uint32_t record = handles_.at(id).record;
    Close(id);
    return record;
}

std::uint32_t SimNtfs::RecycleFolderRecord(std::u16string_view sid) const {
    const std::uint32_t bin = files_.FindChild(kRootRecord, kRecycleBinName);
    return bin == kNone ? kNone : files_.FindChild(bin, sid);
}

std::vector<SimNtfs::Visit> SimNtfs::Below(std::uint32_t dir) const {
    std::vector<Visit> visits;
    if (!files_.IsDirectory(dir)) {
        return visits;
    }
    struct Frame {
        std::uint32_t dir;
        std::vector<std::pair<std::uint32_t, std::u16string>> children;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    stack.push_back({dir, files_.ChildrenOf(dir)});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.children.size()) {
            const std::uint32_t done = frame.dir;
            stack.pop_back();
            if (!stack.empty()) {
                const Frame& parent = stack.back();
                visits.push_back({done, parent.dir, parent.children[parent.next - 1].second});
            }
            continue;
        }
        const auto& [child, name] = frame.children[frame.next++];
        if (files_.IsDirectory(child) && stack.size() < kMaxDepth) {
            const std::uint32_t childDir = child;
            stack.push_back({childDir, files_.ChildrenOf(childDir)});
        } else {
            visits.push_back({child, frame.dir, name});
        }
    }
    return visits;
}

std::uint64_t SimNtfs::NextRandom() {
    // splitmix64: repeatable for a seed, well spread.
    std::uint64_t z = (random_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t SimNtfs::NewJournalId() {
    const std::uint64_t old = journal_.Id();
    std::uint64_t id = 0;
    while (id == 0 || id == old) {
        id = NextRandom();
    }
    return id;
}
