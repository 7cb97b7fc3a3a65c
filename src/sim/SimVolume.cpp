#include "sim/SimVolume.h"

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

// The specific rights a request for generic ones asks for (the file objects' mapping).
std::uint32_t WithGenericRights(std::uint32_t desired) {
    constexpr std::uint32_t kFileGenericRead = 0x00120089;
    constexpr std::uint32_t kFileGenericWrite = 0x00120116;
    constexpr std::uint32_t kFileGenericExecute = 0x001200A0;
    constexpr std::uint32_t kFileAllAccess = 0x001F01FF;
    std::uint32_t rights = desired & 0x0FFFFFFFu;
    rights |= (desired & 0x80000000u) != 0 ? kFileGenericRead : 0;
    rights |= (desired & 0x40000000u) != 0 ? kFileGenericWrite : 0;
    rights |= (desired & 0x20000000u) != 0 ? kFileGenericExecute : 0;
    rights |= (desired & 0x10000000u) != 0 ? kFileAllAccess : 0;
    return rights;
}

// Size of a $I… file: version, size, time, name length, then the original path.
std::uint64_t InfoFileSize(std::size_t pathUnits) {
    return 28 + 2 * (pathUnits + 3);
}

}  // namespace

SimVolume::SimVolume(std::shared_ptr<SimClock> clock, std::uint64_t seed)
    : clock_(clock ? std::move(clock) : std::make_shared<SimClock>()), random_(seed) {
    journal_.Create(NewJournalId(), 0, 0);
}

SimVolume::~SimVolume() = default;

// ---- Lookups

std::uint64_t SimVolume::Lookup(std::u16string_view path) const {
    const Lock lock(mutex_);
    const std::uint32_t record = LookupLocked(path);
    return record == kNone ? 0 : files_.ReferenceOf(record);
}

std::uint64_t SimVolume::ChildByName(std::uint64_t dir, std::u16string_view name) const {
    const Lock lock(mutex_);
    const std::uint32_t parent = DirectoryRecordLocked(dir);
    if (parent == kNone) {
        return 0;
    }
    const std::uint32_t record = files_.FindChild(parent, name);
    return record == kNone ? 0 : files_.ReferenceOf(record);
}

std::vector<std::pair<std::uint64_t, std::u16string>> SimVolume::Children(std::uint64_t dir) const {
    const Lock lock(mutex_);
    std::vector<std::pair<std::uint64_t, std::u16string>> children;
    const std::uint32_t record = DirectoryRecordLocked(dir);
    if (record == kNone) {
        return children;
    }
    for (auto& [child, name] : files_.ChildrenOf(record)) {
        children.emplace_back(files_.ReferenceOf(child), std::move(name));
    }
    return children;
}

std::optional<std::u16string> SimVolume::PathOf(std::uint64_t reference) const {
    const Lock lock(mutex_);
    const std::uint32_t record = files_.RecordOf(reference);
    std::u16string path;
    if (record == kNone || !files_.PathOf(record, path)) {
        return std::nullopt;
    }
    return path;
}

std::optional<SimFileInfo> SimVolume::Info(std::uint64_t reference) const {
    const Lock lock(mutex_);
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

std::vector<std::u16string> SimVolume::PathsOf(std::uint64_t reference) const {
    const Lock lock(mutex_);
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

std::size_t SimVolume::EntryCount() const {
    const Lock lock(mutex_);
    return files_.InUseCount();
}

std::size_t SimVolume::MemoryBytes() const {
    const Lock lock(mutex_);
    return files_.MemoryBytes() + journal_.MemoryBytes();
}

// ---- Handles

SimOpenFile SimVolume::Open(std::uint64_t reference) {
    const Lock lock(mutex_);
    const std::uint32_t record = files_.RecordOf(reference);
    const std::uint64_t id = record == kNone ? 0 : OpenFirstNameLocked(record);
    return id == 0 ? SimOpenFile() : SimOpenFile(this, id, reference);
}

SimOpenFile SimVolume::OpenPath(std::u16string_view path) {
    const Lock lock(mutex_);
    const std::vector<std::u16string_view> names = SplitPath(path);
    if (names.empty() || names.back() == u"..") {
        const std::uint32_t record = WalkLocked(names);
        const std::uint64_t id = record == kNone ? 0 : OpenFirstNameLocked(record);
        return id == 0 ? SimOpenFile() : SimOpenFile(this, id, files_.ReferenceOf(record));
    }
    const std::uint32_t parent = WalkLocked(std::span(names).first(names.size() - 1));
    const std::uint32_t record = parent == kNone ? kNone : files_.FindChild(parent, names.back());
    if (record == kNone) {
        return SimOpenFile();
    }
    // Open through the name as the directory holds it, whatever letter case was asked.
    for (const SimFileTable::Link& link : files_.LinksOf(record)) {
        if (link.parent == parent && sim_names::Equal(link.name, names.back())) {
            const std::uint64_t id = OpenLocked(record, parent, link.name);
            return id == 0 ? SimOpenFile() : SimOpenFile(this, id, files_.ReferenceOf(record));
        }
    }
    return SimOpenFile();
}

SimOpenFile SimVolume::CreateOpen(std::uint64_t parent, std::u16string_view name,
                                  std::uint32_t attributes) {
    const Lock lock(mutex_);
    const std::uint32_t dir = DirectoryRecordLocked(parent);
    const std::uint64_t id = dir == kNone ? 0 : CreateLocked(dir, name, attributes);
    if (id == 0) {
        return SimOpenFile();
    }
    return SimOpenFile(this, id, files_.ReferenceOf(handles_.at(id).record));
}

// ---- Operations

std::uint64_t SimVolume::MakeDirectory(std::uint64_t parent, std::u16string_view name) {
    const Lock lock(mutex_);
    const std::uint32_t dir = DirectoryRecordLocked(parent);
    const std::uint64_t id = dir == kNone ? 0 : CreateLocked(dir, name, ntfs::kAttributeDirectory);
    if (id == 0) {
        return 0;
    }
    const std::uint32_t record = handles_.at(id).record;
    CloseLocked(id);
    return files_.ReferenceOf(record);
}

std::uint64_t SimVolume::MakeDirectories(std::u16string_view path) {
    const Lock lock(mutex_);
    std::uint32_t dir = kRootRecord;
    for (const std::u16string_view name : SplitPath(path)) {
        if (name == u"..") {
            dir = files_.At(dir).parent;
            continue;
        }
        dir = EnsureDirectoryLocked(dir, name, ntfs::kAttributeDirectory);
        if (dir == kNone) {
            return 0;
        }
    }
    return files_.ReferenceOf(dir);
}

std::uint64_t SimVolume::MakeFile(std::uint64_t parent, std::u16string_view name,
                                  std::uint64_t bytes) {
    const Lock lock(mutex_);
    const std::uint32_t dir = DirectoryRecordLocked(parent);
    const std::uint64_t id = dir == kNone ? 0 : CreateLocked(dir, name, ntfs::kAttributeArchive);
    if (id == 0) {
        return 0;
    }
    Handle& handle = handles_.at(id);
    const std::uint32_t record = handle.record;
    if (bytes != 0) {
        WriteLocked(handle, 0, bytes);
    }
    CloseLocked(id);
    return files_.ReferenceOf(record);
}

bool SimVolume::Write(std::uint64_t file, std::uint64_t offset, std::uint64_t length) {
    SimOpenFile handle = Open(file);
    return handle.Write(offset, length);
}

bool SimVolume::Truncate(std::uint64_t file, std::uint64_t length) {
    SimOpenFile handle = Open(file);
    return handle.SetLength(length);
}

bool SimVolume::Rewrite(std::uint64_t file, std::uint64_t length) {
    SimOpenFile handle = Open(file);
    return handle.SetLength(0) && (length == 0 || handle.Write(0, length));
}

bool SimVolume::Rename(std::uint64_t item, std::uint64_t newParent, std::u16string_view newName,
                       bool replaceExisting) {
    SimOpenFile handle = Open(item);
    return handle.Rename(newParent, newName, replaceExisting);
}

bool SimVolume::SetAttributes(std::uint64_t item, std::uint32_t attributes) {
    SimOpenFile handle = Open(item);
    return handle.SetAttributes(attributes);
}

bool SimVolume::ChangeSecurity(std::uint64_t item) {
    SimOpenFile handle = Open(item);
    return handle.ChangeSecurity();
}

bool SimVolume::NoteChange(std::uint64_t item, std::uint32_t reasons) {
    SimOpenFile handle = Open(item);
    return handle.NoteChange(reasons);
}

bool SimVolume::AddHardLink(std::uint64_t file, std::uint64_t parent, std::u16string_view name) {
    SimOpenFile handle = Open(file);
    return handle.AddHardLink(parent, name);
}

bool SimVolume::Delete(std::uint64_t item) {
    const Lock lock(mutex_);
    const std::uint32_t record = files_.RecordOf(item);
    if (record == kNone) {
        return false;
    }
    const std::u16string name(files_.NameOf(record));
    return DeleteNameLocked(record, files_.At(record).parent, name);
}

bool SimVolume::DeletePath(std::u16string_view path) {
    SimOpenFile handle = OpenPath(path);
    return handle.MarkForDelete();
}

bool SimVolume::DeleteTree(std::uint64_t item) {
    const Lock lock(mutex_);
    const std::uint32_t record = files_.RecordOf(item);
    return record != kNone && DeleteTreeLocked(record);
}

SimRecycled SimVolume::Recycle(std::uint64_t item, std::u16string_view sid) {
    const Lock lock(mutex_);
    const std::uint32_t record = files_.RecordOf(item);
    if (record == kNone || record == kRootRecord || !sim_names::IsValid(sid) ||
        files_.At(record).deletePending) {
        return {};
    }
    const std::uint32_t bin =
        EnsureDirectoryLocked(kRootRecord, kRecycleBinName, kRecycleFolderAttributes);
    const std::uint32_t folder =
        bin == kNone ? kNone : EnsureDirectoryLocked(bin, sid, kRecycleFolderAttributes);
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
    const std::uint64_t info = CreateLocked(folder, infoName, ntfs::kAttributeArchive);
    if (info == 0) {
        return {};
    }
    const std::uint32_t infoRecord = handles_.at(info).record;
    WriteLocked(handles_.at(info), 0, InfoFileSize(originalPath.size() + 2));
    CloseLocked(info);

    const std::uint64_t moved = OpenFirstNameLocked(record);
    if (moved == 0) {
        return {};
    }
    const bool renamed = RenameLocked(handles_.at(moved), folder, itemName, false);
    CloseLocked(moved);
    if (!renamed) {
        return {};
    }

    // The item takes the recycle bin's security; inherited by everything below it.
    std::vector<Visit> visits = BelowLocked(record);
    visits.push_back({record, folder, itemName});
    for (const Visit& visit : visits) {
        const std::uint64_t id = OpenLocked(visit.record, visit.parent, visit.name);
        if (id != 0) {
            NoteLocked(handles_.at(id), ntfs::kReasonSecurityChange);
            CloseLocked(id);
        }
    }
    return {item, files_.ReferenceOf(infoRecord), files_.ReferenceOf(folder), itemName};
}

bool SimVolume::EmptyRecycleBin(std::u16string_view sid) {
    const Lock lock(mutex_);
    const std::uint32_t folder = RecycleFolderLocked(sid);
    if (folder == kNone) {
        return false;
    }
    bool emptied = true;
    for (const auto& [record, name] : files_.ChildrenOf(folder)) {
        emptied = (files_.IsDirectory(record) ? DeleteTreeLocked(record)
                                              : DeleteNameLocked(record, folder, name)) &&
                  emptied;
    }
    return emptied;
}

std::uint64_t SimVolume::RecycleFolder(std::u16string_view sid) const {
    const Lock lock(mutex_);
    const std::uint32_t folder = RecycleFolderLocked(sid);
    return folder == kNone ? 0 : files_.ReferenceOf(folder);
}

// ---- Entries without records

std::uint64_t SimVolume::AddExisting(std::uint64_t parent, std::u16string_view name,
                                     std::uint32_t attributes, std::uint64_t size) {
    const Lock lock(mutex_);
    const std::uint32_t dir = DirectoryRecordLocked(parent);
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

bool SimVolume::PlaceExisting(std::uint64_t reference, std::uint64_t parent,
                              std::u16string_view name, std::uint32_t attributes) {
    const Lock lock(mutex_);
    const std::uint32_t dir = DirectoryRecordLocked(parent);
    if (dir == kNone || name.empty() || name.size() > 255 || files_.FindChild(dir, name) != kNone ||
        !files_.Place(reference, attributes)) {
        return false;
    }
    files_.AddLink(static_cast<std::uint32_t>(reference & 0xFFFFFFFFFFFFULL), dir, name);
    return true;
}

// ---- Records as they are

std::int64_t SimVolume::AppendRecord(const SimRecord& record) {
    const Lock lock(mutex_);
    return journal_.Append(record.Encode(), true);
}

std::int64_t SimVolume::AppendRaw(std::span<const std::uint8_t> bytes) {
    const Lock lock(mutex_);
    return journal_.Append(bytes, false);
}

JournalStreamLoad SimVolume::LoadJournalStream(std::span<const std::uint8_t> stream) {
    const Lock lock(mutex_);
    return journal_.LoadStream(stream);
}

std::vector<SimRecord> SimVolume::RecordsSince(std::int64_t usn) const {
    const Lock lock(mutex_);
    return journal_.RecordsSince(usn);
}

std::optional<ntfs::UsnJournalDataV0> SimVolume::JournalData() const {
    const Lock lock(mutex_);
    if (!journal_.IsActive()) {
        return std::nullopt;
    }
    return journal_.Data();
}

// ---- Journal life and faults

void SimVolume::CreateJournal(std::uint64_t maximumSize, std::uint64_t allocationDelta) {
    const Lock lock(mutex_);
    deletion_.Finish();
    CreateJournalLocked(maximumSize, allocationDelta);
}

void SimVolume::RecreateJournal() {
    const Lock lock(mutex_);
    const ntfs::UsnJournalDataV0 old = journal_.Data();
    deletion_.Finish();
    journal_.Delete();
    journal_.Create(NewJournalId(), old.MaximumSize, old.AllocationDelta);
}

void SimVolume::DeleteJournal() {
    const Lock lock(mutex_);
    deletion_.Finish();
    journal_.Delete();
}

void SimVolume::DeleteJournalInBackground(int requests) {
    const Lock lock(mutex_);
    journal_.Delete();
    deletion_.Begin(requests);
}

void SimVolume::FinishJournalDeletion() {
    const Lock lock(mutex_);
    deletion_.Finish();
}

bool SimVolume::JournalDeletionInProgress() const {
    const Lock lock(mutex_);
    return deletion_.InProgress();
}

void SimVolume::DropRecordsBefore(std::int64_t usn) {
    const Lock lock(mutex_);
    journal_.DropBefore(usn);
}

void SimVolume::SetJournalMaximumSize(std::uint64_t bytes) {
    const Lock lock(mutex_);
    journal_.Resize(bytes, 0);
}

void SimVolume::FailNextRequests(int count, std::uint32_t code, std::uint32_t error) {
    const Lock lock(mutex_);
    failuresLeft_ = count;
    failCode_ = code;
    failError_ = error;
}

void SimVolume::SetRemoved(bool removed) {
    const Lock lock(mutex_);
    removed_ = removed;
}

bool SimVolume::IsRemoved() const {
    const Lock lock(mutex_);
    return removed_;
}

void SimVolume::SetRequestHook(std::function<void(std::uint32_t)> hook) {
    auto shared = hook ? std::make_shared<const std::function<void(std::uint32_t)>>(std::move(hook))
                       : nullptr;
    const Lock lock(mutex_);
    hook_ = std::move(shared);
}

std::uint64_t SimVolume::RequestCount(std::uint32_t code) const {
    const Lock lock(mutex_);
    const auto it = requestCounts_.find(code);
    return it == requestCounts_.end() ? 0 : it->second;
}

// ---- The device

bool SimVolume::DeviceIoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                                std::uint32_t outSize, std::uint32_t& returned,
                                std::uint32_t& error) {
    returned = 0;
    std::shared_ptr<const std::function<void(std::uint32_t)>> hook;
    {
        const Lock lock(mutex_);
        hook = hook_;
    }
    if (hook) {
        (*hook)(code);
    }
    const Lock lock(mutex_);
    ++requestCounts_[code];
    error = AnswerLocked(code, static_cast<const std::uint8_t*>(in), in != nullptr ? inSize : 0,
                         static_cast<std::uint8_t*>(out), out != nullptr ? outSize : 0, returned);
    return error == win32::kErrorSuccess;
}

void SimVolume::DenyAccess(std::uint64_t reference, std::uint32_t rights) {
    const Lock lock(mutex_);
    deniedRights_[reference] |= rights;
}

std::int32_t SimVolume::QueryNameById(std::uint64_t fileId, void* buffer, std::uint32_t size,
                                      std::uint32_t desiredAccess) const {
    const Lock lock(mutex_);
    if (removed_) {
        return win32::kStatusNoSuchDevice;
    }
    const std::uint32_t record = files_.RecordOf(fileId);
    std::u16string path;
    if (record == kNone || !files_.PathOf(record, path)) {
        return win32::kStatusObjectNameNotFound;
    }
    if (const auto rule = deniedRights_.find(fileId);
        rule != deniedRights_.end() && (WithGenericRights(desiredAccess) & rule->second) != 0) {
        return win32::kStatusAccessDenied;
    }
    if (buffer == nullptr || size < ntfs::kFileNameInformationNameOffset) {
        return win32::kStatusInfoLengthMismatch;
    }
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const auto nameBytes = static_cast<std::uint32_t>(path.size() * 2);
    const std::uint32_t room = (size - ntfs::kFileNameInformationNameOffset) & ~1u;
    const std::uint32_t copied = nameBytes < room ? nameBytes : room;
    std::memcpy(bytes, &nameBytes, sizeof nameBytes);
    std::memcpy(bytes + ntfs::kFileNameInformationNameOffset, path.data(), copied);
    return copied < nameBytes ? win32::kStatusBufferOverflow : win32::kStatusSuccess;
}

// ---- SimOpenFile's calls

bool SimVolume::HandleWrite(std::uint64_t id, std::uint64_t offset, std::uint64_t length) {
    const Lock lock(mutex_);
    Handle* handle = FindHandle(id);
    return handle != nullptr && WriteLocked(*handle, offset, length);
}

bool SimVolume::HandleSetLength(std::uint64_t id, std::uint64_t length) {
    const Lock lock(mutex_);
    Handle* handle = FindHandle(id);
    return handle != nullptr && SetLengthLocked(*handle, length);
}

bool SimVolume::HandleRename(std::uint64_t id, std::uint64_t newParent, std::u16string_view newName,
                             bool replaceExisting) {
    const std::u16string name(newName);
    const Lock lock(mutex_);
    Handle* handle = FindHandle(id);
    const std::uint32_t dir = DirectoryRecordLocked(newParent);
    return handle != nullptr && dir != kNone && RenameLocked(*handle, dir, name, replaceExisting);
}

bool SimVolume::HandleSetAttributes(std::uint64_t id, std::uint32_t attributes) {
    const Lock lock(mutex_);
    Handle* handle = FindHandle(id);
    return handle != nullptr && SetAttributesLocked(*handle, attributes);
}

bool SimVolume::HandleNoteChange(std::uint64_t id, std::uint32_t reasons) {
    const Lock lock(mutex_);
    Handle* handle = FindHandle(id);
    if (handle == nullptr) {
        return false;
    }
    NoteLocked(*handle, reasons & ~kReasonClose);
    return true;
}

bool SimVolume::HandleAddHardLink(std::uint64_t id, std::uint64_t parent,
                                  std::u16string_view name) {
    const std::u16string copy(name);
    const Lock lock(mutex_);
    Handle* handle = FindHandle(id);
    const std::uint32_t dir = DirectoryRecordLocked(parent);
    return handle != nullptr && dir != kNone && AddHardLinkLocked(*handle, dir, copy);
}

bool SimVolume::HandleMarkForDelete(std::uint64_t id) {
    const Lock lock(mutex_);
    Handle* handle = FindHandle(id);
    return handle != nullptr && MarkForDeleteLocked(*handle);
}

void SimVolume::HandleClose(std::uint64_t id) {
    const Lock lock(mutex_);
    CloseLocked(id);
}

// ---- With the lock held

std::uint64_t SimVolume::OpenLocked(std::uint32_t record, std::uint32_t parent,
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

std::uint64_t SimVolume::OpenFirstNameLocked(std::uint32_t record) {
    const std::u16string name(files_.NameOf(record));
    return OpenLocked(record, files_.At(record).parent, name);
}

std::uint64_t SimVolume::CreateLocked(std::uint32_t parent, std::u16string_view name,
                                      std::uint32_t attributes) {
    if (!sim_names::IsValid(name) || files_.FindChild(parent, name) != kNone ||
        files_.At(parent).deletePending) {
        return 0;
    }
    const std::u16string copy(name);
    const std::uint32_t record = files_.Allocate(attributes);
    files_.AddLink(record, parent, copy);
    const std::uint64_t id = OpenLocked(record, parent, copy);
    NoteLocked(handles_.at(id), kReasonFileCreate);
    return id;
}

SimVolume::Handle* SimVolume::FindHandle(std::uint64_t id) {
    const auto it = handles_.find(id);
    return it == handles_.end() ? nullptr : &it->second;
}

bool SimVolume::WriteLocked(Handle& handle, std::uint64_t offset, std::uint64_t length) {
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
        NoteLocked(handle, kReasonDataExtend);
    }
    if (overwrites) {
        NoteLocked(handle, kReasonDataOverwrite);
    }
    return true;
}

bool SimVolume::SetLengthLocked(Handle& handle, std::uint64_t length) {
    if (files_.IsDirectory(handle.record)) {
        return false;
    }
    SimFileTable::Entry& entry = files_.At(handle.record);
    if (length != entry.size) {
        const std::uint32_t reason =
            length > entry.size ? kReasonDataExtend : kReasonDataTruncation;
        entry.size = length;
        NoteLocked(handle, reason);
    }
    return true;
}

bool SimVolume::RenameLocked(Handle& handle, std::uint32_t newParent, std::u16string_view newName,
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
                DeleteNameLocked(existing, newParent, link.name);
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
    EmitLocked(record, oldParent, oldName, entry.reasons | kReasonRenameOldName);
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
    EmitLocked(record, newParent, name, files_.At(record).reasons);
    return true;
}

bool SimVolume::SetAttributesLocked(Handle& handle, std::uint32_t attributes) {
    SimFileTable::Entry& entry = files_.At(handle.record);
    const std::uint32_t directory = entry.attributes & ntfs::kAttributeDirectory;
    entry.attributes = (attributes & ~ntfs::kAttributeDirectory) | directory;
    NoteLocked(handle, ntfs::kReasonBasicInfoChange);
    return true;
}

bool SimVolume::AddHardLinkLocked(Handle& handle, std::uint32_t parent, std::u16string_view name) {
    if (files_.IsDirectory(handle.record) || files_.At(handle.record).linkCount >= kMaxLinks ||
        !sim_names::IsValid(name) || files_.FindChild(parent, name) != kNone ||
        files_.At(parent).deletePending) {
        return false;
    }
    files_.AddLink(handle.record, parent, name);
    SimFileTable::Entry& entry = files_.At(handle.record);
    entry.reasons |= kReasonHardLinkChange;
    EmitLocked(handle.record, parent, name, entry.reasons);
    // Its close record names the file by its new name.
    handle.parent = parent;
    handle.name = name;
    return true;
}

bool SimVolume::MarkForDeleteLocked(Handle& handle) {
    if (handle.record == kRootRecord ||
        (files_.IsDirectory(handle.record) && files_.HasChildren(handle.record))) {
        return false;  // STATUS_DIRECTORY_NOT_EMPTY
    }
    handle.deleteOnClose = true;
    return true;
}

void SimVolume::CloseLocked(std::uint64_t id) {
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
        EmitLocked(record, handle.parent, handle.name, entry.reasons | kReasonClose);
    }
    entry.reasons = 0;
    if (entry.deletePending) {
        for (const SimFileTable::Link& link : files_.LinksOf(record)) {
            files_.RemoveLink(record, link.parent, link.name);
        }
        files_.Free(record);
    }
}

void SimVolume::NoteLocked(const Handle& handle, std::uint32_t reasons) {
    SimFileTable::Entry& entry = files_.At(handle.record);
    const std::uint32_t gathered = entry.reasons | reasons;
    if (gathered != entry.reasons) {
        entry.reasons = gathered;
        EmitLocked(handle.record, handle.parent, handle.name, gathered);
    }
}

void SimVolume::EmitLocked(std::uint32_t record, std::uint32_t parent, std::u16string_view name,
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

bool SimVolume::DeleteNameLocked(std::uint32_t record, std::uint32_t parent,
                                 std::u16string_view name) {
    const std::uint64_t id = OpenLocked(record, parent, name);
    if (id == 0) {
        return false;
    }
    const bool marked = MarkForDeleteLocked(handles_.at(id));
    CloseLocked(id);
    return marked;
}

bool SimVolume::DeleteTreeLocked(std::uint32_t record) {
    if (record == kRootRecord) {
        return false;
    }
    std::vector<Visit> visits = BelowLocked(record);
    visits.push_back({record, files_.At(record).parent, std::u16string(files_.NameOf(record))});
    const std::uint64_t reference = files_.ReferenceOf(record);
    for (const Visit& visit : visits) {
        DeleteNameLocked(visit.record, visit.parent, visit.name);
    }
    return files_.RecordOf(reference) == kNone;
}

std::uint32_t SimVolume::LookupLocked(std::u16string_view path) const {
    return WalkLocked(SplitPath(path));
}

std::uint32_t SimVolume::WalkLocked(std::span<const std::u16string_view> names) const {
    std::uint32_t record = kRootRecord;
    for (const std::u16string_view name : names) {
        record = name == u".." ? files_.At(record).parent : files_.FindChild(record, name);
        if (record == kNone) {
            return kNone;
        }
    }
    return record;
}

std::uint32_t SimVolume::DirectoryRecordLocked(std::uint64_t reference) const {
    const std::uint32_t record = files_.RecordOf(reference);
    return record != kNone && files_.IsDirectory(record) ? record : kNone;
}

std::uint32_t SimVolume::EnsureDirectoryLocked(std::uint32_t parent, std::u16string_view name,
                                               std::uint32_t attributes) {
    const std::uint32_t existing = files_.FindChild(parent, name);
    if (existing != kNone) {
        return files_.IsDirectory(existing) ? existing : kNone;
    }
    const std::uint64_t id = CreateLocked(parent, name, attributes | ntfs::kAttributeDirectory);
    if (id == 0) {
        return kNone;
    }
    const std::uint32_t record = handles_.at(id).record;
    CloseLocked(id);
    return record;
}

std::uint32_t SimVolume::RecycleFolderLocked(std::u16string_view sid) const {
    const std::uint32_t bin = files_.FindChild(kRootRecord, kRecycleBinName);
    return bin == kNone ? kNone : files_.FindChild(bin, sid);
}

std::vector<SimVolume::Visit> SimVolume::BelowLocked(std::uint32_t dir) const {
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

std::uint32_t SimVolume::AnswerLocked(std::uint32_t code, const std::uint8_t* in,
                                      std::uint32_t inSize, std::uint8_t* out,
                                      std::uint32_t outSize, std::uint32_t& returned) {
    if (removed_) {
        return win32::kErrorNotReady;
    }
    if (failuresLeft_ > 0 && (failCode_ == 0 || failCode_ == code)) {
        --failuresLeft_;
        return failError_;
    }
    if (code == ntfs::kFsctlDeleteUsnJournal) {
        return DeleteJournalLocked(in, inSize);
    }
    const bool onTheJournal = code == ntfs::kFsctlCreateUsnJournal ||
                              code == ntfs::kFsctlQueryUsnJournal ||
                              code == ntfs::kFsctlReadUsnJournal || code == ntfs::kFsctlEnumUsnData;
    if (onTheJournal && deletion_.Meet()) {
        return win32::kErrorJournalDeleteInProgress;
    }
    switch (code) {
        case ntfs::kFsctlCreateUsnJournal: {
            if (inSize < sizeof(ntfs::CreateUsnJournalData)) {
                return win32::kErrorInvalidParameter;
            }
            const auto request = ntfs::ReadStruct<ntfs::CreateUsnJournalData>(in);
            CreateJournalLocked(request.MaximumSize, request.AllocationDelta);
            return win32::kErrorSuccess;
        }
        case ntfs::kFsctlQueryUsnJournal: {
            if (!journal_.IsActive()) {
                return win32::kErrorJournalNotActive;
            }
            if (outSize < sizeof(ntfs::UsnJournalDataV0)) {
                return win32::kErrorInsufficientBuffer;
            }
            const ntfs::UsnJournalDataV0 data = journal_.Data();
            std::memcpy(out, &data, sizeof data);
            returned = sizeof data;
            return win32::kErrorSuccess;
        }
        case ntfs::kFsctlReadUsnJournal:
            if (inSize < sizeof(ntfs::ReadUsnJournalDataV0)) {
                return win32::kErrorInvalidParameter;
            }
            return journal_.Read(ntfs::ReadStruct<ntfs::ReadUsnJournalDataV0>(in), out, outSize,
                                 returned);
        case ntfs::kFsctlEnumUsnData:
            if (inSize < sizeof(ntfs::MftEnumDataV0)) {
                return win32::kErrorInvalidParameter;
            }
            if (!journal_.IsActive()) {
                return win32::kErrorJournalNotActive;
            }
            return files_.Enumerate(ntfs::ReadStruct<ntfs::MftEnumDataV0>(in), out, outSize,
                                    returned);
        default:
            return win32::kErrorInvalidFunction;
    }
}

void SimVolume::CreateJournalLocked(std::uint64_t maximumSize, std::uint64_t allocationDelta) {
    if (!journal_.IsActive()) {
        journal_.Create(NewJournalId(), maximumSize, allocationDelta);
        return;
    }
    // NTFS sets an existing journal to the sizes of the request; a smaller maximum drops
    // the oldest records.
    journal_.Resize(maximumSize != 0 ? maximumSize : SimJournal::kDefaultMaximumSize,
                    allocationDelta != 0 ? allocationDelta : SimJournal::kDefaultAllocationDelta);
}

std::uint32_t SimVolume::DeleteJournalLocked(const std::uint8_t* in, std::uint32_t inSize) {
    if (inSize < sizeof(ntfs::DeleteUsnJournalData)) {
        return win32::kErrorInvalidParameter;
    }
    const auto request = ntfs::ReadStruct<ntfs::DeleteUsnJournalData>(in);
    const bool remove = (request.DeleteFlags & ntfs::kUsnDeleteFlagDelete) != 0;
    const bool notify = (request.DeleteFlags & ntfs::kUsnDeleteFlagNotify) != 0;
    if (!remove && !notify) {
        return win32::kErrorInvalidParameter;
    }
    if (remove && deletion_.InProgress()) {
        deletion_.Meet();
        return win32::kErrorJournalDeleteInProgress;
    }
    if (remove && journal_.IsActive() && request.UsnJournalID != journal_.Id()) {
        return win32::kErrorInvalidParameter;
    }
    if (remove) {
        journal_.Delete();
        deletion_.Begin(kDeletionRequests);
    }
    // A synchronous request that asks to be told returns once the deletion is over; a
    // simulation never blocks its caller, so the deletion ends now.
    if (notify) {
        deletion_.Finish();
    }
    return win32::kErrorSuccess;
}

std::uint64_t SimVolume::NextRandom() {
    // splitmix64: repeatable for a seed, well spread.
    std::uint64_t z = (random_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t SimVolume::NewJournalId() {
    const std::uint64_t old = journal_.Id();
    std::uint64_t id = 0;
    while (id == 0 || id == old) {
        id = NextRandom();
    }
    return id;
}
