#include "sim/SimOpenFile.h"

#include <utility>

#include "ntfs/JournalRecords.h"
#include "sim/SimHandleCalls.h"

SimOpenFile::SimOpenFile(SimOpenFile&& other) noexcept
    : volume_(std::exchange(other.volume_, nullptr)),
      id_(std::exchange(other.id_, 0)),
      reference_(other.reference_) {}

SimOpenFile& SimOpenFile::operator=(SimOpenFile&& other) noexcept {
    if (this != &other) {
        Close();
        volume_ = std::exchange(other.volume_, nullptr);
        id_ = std::exchange(other.id_, 0);
        reference_ = other.reference_;
    }
    return *this;
}

SimOpenFile::~SimOpenFile() {
    Close();
}

bool SimOpenFile::Write(std::uint64_t offset, std::uint64_t length) {
    return IsOpen() && volume_->HandleWrite(id_, offset, length);
}

bool SimOpenFile::SetLength(std::uint64_t length) {
    return IsOpen() && volume_->HandleSetLength(id_, length);
}

bool SimOpenFile::Rename(std::uint64_t newParent, std::u16string_view newName,
                         bool replaceExisting) {
    return IsOpen() && volume_->HandleRename(id_, newParent, newName, replaceExisting);
}

bool SimOpenFile::SetAttributes(std::uint32_t attributes) {
    return IsOpen() && volume_->HandleSetAttributes(id_, attributes);
}

bool SimOpenFile::ChangeSecurity() {
    return IsOpen() && volume_->HandleNoteChange(id_, ntfs::kReasonSecurityChange);
}

bool SimOpenFile::NoteChange(std::uint32_t reasons) {
    return IsOpen() && volume_->HandleNoteChange(id_, reasons);
}

bool SimOpenFile::AddHardLink(std::uint64_t parent, std::u16string_view name) {
    return IsOpen() && volume_->HandleAddHardLink(id_, parent, name);
}

bool SimOpenFile::MarkForDelete() {
    return IsOpen() && volume_->HandleMarkForDelete(id_);
}

void SimOpenFile::Close() {
    if (IsOpen()) {
        std::exchange(volume_, nullptr)->HandleClose(std::exchange(id_, 0));
    }
}
