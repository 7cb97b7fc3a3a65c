#include "sim/SimVolume.h"

#include <utility>

SimVolume::SimVolume(std::shared_ptr<SimClock> clock, std::uint64_t seed)
    : serialNumber_(static_cast<std::uint32_t>((seed * 0x9E3779B97F4A7C15ULL) >> 32)),
      model_(std::move(clock), seed) {}

SimVolume::~SimVolume() = default;

// ---- Lookups

std::uint64_t SimVolume::Lookup(std::u16string_view path) const {
    return Locked([&] { return model_.Lookup(path); });
}

std::uint64_t SimVolume::ChildByName(std::uint64_t dir, std::u16string_view name) const {
    return Locked([&] { return model_.ChildByName(dir, name); });
}

std::vector<std::pair<std::uint64_t, std::u16string>> SimVolume::Children(std::uint64_t dir) const {
    return Locked([&] { return model_.Children(dir); });
}

std::optional<std::u16string> SimVolume::PathOf(std::uint64_t reference) const {
    return Locked([&] { return model_.PathOf(reference); });
}

std::optional<SimFileInfo> SimVolume::Info(std::uint64_t reference) const {
    return Locked([&] { return model_.Info(reference); });
}

std::vector<std::u16string> SimVolume::PathsOf(std::uint64_t reference) const {
    return Locked([&] { return model_.PathsOf(reference); });
}

std::size_t SimVolume::EntryCount() const {
    return Locked([&] { return model_.EntryCount(); });
}

std::size_t SimVolume::MemoryBytes() const {
    return Locked([&] { return model_.MemoryBytes(); });
}

// ---- Handles

SimOpenFile SimVolume::Open(std::uint64_t reference) {
    return Handed(Locked([&] { return model_.Open(reference); }));
}

SimOpenFile SimVolume::OpenPath(std::u16string_view path) {
    return Handed(Locked([&] { return model_.OpenPath(path); }));
}

SimOpenFile SimVolume::CreateOpen(std::uint64_t parent, std::u16string_view name,
                                  std::uint32_t attributes) {
    return Handed(Locked([&] { return model_.CreateOpen(parent, name, attributes); }));
}

bool SimVolume::HandleWrite(std::uint64_t handle, std::uint64_t offset, std::uint64_t length) {
    return Locked([&] { return model_.Write(handle, offset, length); });
}

bool SimVolume::HandleSetLength(std::uint64_t handle, std::uint64_t length) {
    return Locked([&] { return model_.SetLength(handle, length); });
}

bool SimVolume::HandleRename(std::uint64_t handle, std::uint64_t newParent,
                             std::u16string_view newName, bool replaceExisting) {
    return Locked([&] { return model_.Rename(handle, newParent, newName, replaceExisting); });
}

bool SimVolume::HandleSetAttributes(std::uint64_t handle, std::uint32_t attributes) {
    return Locked([&] { return model_.SetAttributes(handle, attributes); });
}

bool SimVolume::HandleNoteChange(std::uint64_t handle, std::uint32_t reasons) {
    return Locked([&] { return model_.NoteChange(handle, reasons); });
}

bool SimVolume::HandleAddHardLink(std::uint64_t handle, std::uint64_t parent,
                                  std::u16string_view name) {
    return Locked([&] { return model_.AddHardLink(handle, parent, name); });
}

bool SimVolume::HandleMarkForDelete(std::uint64_t handle) {
    return Locked([&] { return model_.MarkForDelete(handle); });
}

void SimVolume::HandleClose(std::uint64_t handle) {
    Locked([&] { model_.Close(handle); });
}

// ---- Operations

std::uint64_t SimVolume::MakeDirectory(std::uint64_t parent, std::u16string_view name) {
    return Locked([&] { return model_.MakeDirectory(parent, name); });
}

std::uint64_t SimVolume::MakeDirectories(std::u16string_view path) {
    return Locked([&] { return model_.MakeDirectories(path); });
}

std::uint64_t SimVolume::MakeFile(std::uint64_t parent, std::u16string_view name,
                                  std::uint64_t bytes) {
    return Locked([&] { return model_.MakeFile(parent, name, bytes); });
}

// The operations that open a handle, act through it and close it, one call at a time, as a
// program does: other threads' changes may come in between.

bool SimVolume::Write(std::uint64_t file, std::uint64_t offset, std::uint64_t length) {
    return Open(file).Write(offset, length);
}

bool SimVolume::Truncate(std::uint64_t file, std::uint64_t length) {
    return Open(file).SetLength(length);
}

bool SimVolume::Rewrite(std::uint64_t file, std::uint64_t length) {
    SimOpenFile handle = Open(file);
    return handle.SetLength(0) && (length == 0 || handle.Write(0, length));
}

bool SimVolume::Rename(std::uint64_t item, std::uint64_t newParent, std::u16string_view newName,
                       bool replaceExisting) {
    return Open(item).Rename(newParent, newName, replaceExisting);
}

bool SimVolume::SetAttributes(std::uint64_t item, std::uint32_t attributes) {
    return Open(item).SetAttributes(attributes);
}

bool SimVolume::ChangeSecurity(std::uint64_t item) {
    return Open(item).ChangeSecurity();
}

bool SimVolume::NoteChange(std::uint64_t item, std::uint32_t reasons) {
    return Open(item).NoteChange(reasons);
}

bool SimVolume::AddHardLink(std::uint64_t file, std::uint64_t parent, std::u16string_view name) {
    return Open(file).AddHardLink(parent, name);
}

bool SimVolume::DeletePath(std::u16string_view path) {
    return OpenPath(path).MarkForDelete();
}

bool SimVolume::Delete(std::uint64_t item) {
    return Locked([&] { return model_.Delete(item); });
}

bool SimVolume::DeleteTree(std::uint64_t item) {
    return Locked([&] { return model_.DeleteTree(item); });
}

SimRecycled SimVolume::Recycle(std::uint64_t item, std::u16string_view sid) {
    return Locked([&] { return model_.Recycle(item, sid); });
}

bool SimVolume::EmptyRecycleBin(std::u16string_view sid) {
    return Locked([&] { return model_.EmptyRecycleBin(sid); });
}

std::uint64_t SimVolume::RecycleFolder(std::u16string_view sid) const {
    return Locked([&] { return model_.RecycleFolder(sid); });
}

void SimVolume::DenyAccess(std::uint64_t reference, std::uint32_t rights) {
    Locked([&] { model_.DenyAccess(reference, rights); });
}

// ---- Entries without records

std::uint64_t SimVolume::AddExisting(std::uint64_t parent, std::u16string_view name,
                                     std::uint32_t attributes, std::uint64_t size) {
    return Locked([&] { return model_.AddExisting(parent, name, attributes, size); });
}

bool SimVolume::PlaceExisting(std::uint64_t reference, std::uint64_t parent,
                              std::u16string_view name, std::uint32_t attributes) {
    return Locked([&] { return model_.PlaceExisting(reference, parent, name, attributes); });
}

// ---- Records as they are

std::int64_t SimVolume::AppendRecord(const SimRecord& record) {
    return Locked([&] { return model_.Journal().Append(record.Encode(), true); });
}

std::int64_t SimVolume::AppendRaw(std::span<const std::uint8_t> bytes) {
    return Locked([&] { return model_.Journal().Append(bytes, false); });
}

JournalStreamLoad SimVolume::LoadJournalStream(std::span<const std::uint8_t> stream) {
    return Locked([&] { return model_.Journal().LoadStream(stream); });
}

std::vector<SimRecord> SimVolume::RecordsSince(std::int64_t usn) const {
    return Locked([&] { return model_.Journal().RecordsSince(usn); });
}

std::optional<ntfs::UsnJournalDataV0> SimVolume::JournalData() const {
    return Locked([&]() -> std::optional<ntfs::UsnJournalDataV0> {
        if (!model_.Journal().IsActive()) {
            return std::nullopt;
        }
        return model_.Journal().Data();
    });
}

// ---- Journal life and faults

void SimVolume::CreateJournal(std::uint64_t maximumSize, std::uint64_t allocationDelta) {
    Locked([&] {
        model_.Deletion().Finish();
        device_.CreateJournal(maximumSize, allocationDelta);
    });
}

void SimVolume::RecreateJournal() {
    Locked([&] {
        SimJournal& journal = model_.Journal();
        const ntfs::UsnJournalDataV0 old = journal.Data();
        model_.Deletion().Finish();
        journal.Delete();
        journal.Create(model_.NewJournalId(), old.MaximumSize, old.AllocationDelta);
    });
}

void SimVolume::DeleteJournal() {
    Locked([&] {
        model_.Deletion().Finish();
        model_.Journal().Delete();
    });
}

void SimVolume::DeleteJournalInBackground(int requests) {
    Locked([&] {
        model_.Journal().Delete();
        model_.Deletion().Begin(requests);
    });
}

void SimVolume::FinishJournalDeletion() {
    Locked([&] { model_.Deletion().Finish(); });
}

bool SimVolume::JournalDeletionInProgress() const {
    return Locked([&] { return model_.Deletion().InProgress(); });
}

void SimVolume::DropRecordsBefore(std::int64_t usn) {
    Locked([&] { model_.Journal().DropBefore(usn); });
}

void SimVolume::SetJournalMaximumSize(std::uint64_t bytes) {
    Locked([&] { model_.Journal().Resize(bytes, 0); });
}

void SimVolume::FailNextRequests(int count, std::uint32_t code, std::uint32_t error) {
    Locked([&] {
        failuresLeft_ = count;
        failCode_ = code;
        failError_ = error;
    });
}

void SimVolume::SetRemoved(bool removed) {
    Locked([&] { removed_ = removed; });
}

bool SimVolume::IsRemoved() const {
    return Locked([&] { return removed_; });
}

void SimVolume::SetRequestHook(std::function<void(std::uint32_t)> hook) {
    auto shared = hook ? std::make_shared<const std::function<void(std::uint32_t)>>(std::move(hook))
                       : nullptr;
    Locked([&] { hook_ = std::move(shared); });
}

std::uint64_t SimVolume::RequestCount(std::uint32_t code) const {
    return Locked([&]() -> std::uint64_t {
        const auto it = requestCounts_.find(code);
        return it == requestCounts_.end() ? 0 : it->second;
    });
}

// ---- The device

bool SimVolume::DeviceIoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                                std::uint32_t outSize, std::uint32_t& returned,
                                std::uint32_t& error) {
    returned = 0;
    // The hook may block until a test lets the request go: outside the lock.
    if (const auto hook = Locked([&] { return hook_; })) {
        (*hook)(code);
    }
    error = Locked([&] {
        ++requestCounts_[code];
        if (removed_) {
            return win32::kErrorNotReady;
        }
        if (failuresLeft_ > 0 && (failCode_ == 0 || failCode_ == code)) {
            --failuresLeft_;
            return failError_;
        }
        return device_.Answer(code, static_cast<const std::uint8_t*>(in),
                              in != nullptr ? inSize : 0, static_cast<std::uint8_t*>(out),
                              out != nullptr ? outSize : 0, returned);
    });
    return error == win32::kErrorSuccess;
}

std::int32_t SimVolume::QueryNameById(std::uint64_t fileId, void* buffer, std::uint32_t size,
                                      std::uint32_t desiredAccess) const {
    return Locked([&] {
        return removed_ ? win32::kStatusNoSuchDevice
                        : device_.QueryNameById(fileId, buffer, size, desiredAccess);
    });
}
