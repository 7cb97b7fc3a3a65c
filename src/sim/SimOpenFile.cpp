#include "sim/SimOpenFile.h"

#include <utility>

#include "ntfs/JournalRecords.h"
#include "sim/SimHandleCalls.h"
#include "sim/SimNtfs.h"

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
    return Through([&](SimNtfs& m, std::uint64_t h) { return m.Write(h, offset, length); });
}

bool SimOpenFile::SetLength(std::uint64_t length) {
    return Through([&](SimNtfs& m, std::uint64_t h) { return m.SetLength(h, length); });
}

bool SimOpenFile::Rename(std::uint64_t newParent, std::u16string_view newName,
                         bool replaceExisting) {
    return Through([&](SimNtfs& m, std::uint64_t h) {
        return m.Rename(h, newParent, newName, replaceExisting);
    });
}

bool SimOpenFile::SetAttributes(std::uint32_t attributes) {
    return Through([&](SimNtfs& m, std::uint64_t h) { return m.SetAttributes(h, attributes); });
}

bool SimOpenFile::ChangeSecurity() {
    return Through(
        [&](SimNtfs& m, std::uint64_t h) { return m.NoteChange(h, ntfs::kReasonSecurityChange); });
}

bool SimOpenFile::NoteChange(std::uint32_t reasons) {
    return Through([&](SimNtfs& m, std::uint64_t h) { return m.NoteChange(h, reasons); });
}

bool SimOpenFile::AddHardLink(std::uint64_t parent, std::u16string_view name) {
    return Through([&](SimNtfs& m, std::uint64_t h) { return m.AddHardLink(h, parent, name); });
}

bool SimOpenFile::MarkForDelete() {
    return Through([&](SimNtfs& m, std::uint64_t h) { return m.MarkForDelete(h); });
}

void SimOpenFile::Close() {
    if (IsOpen()) {
        const std::uint64_t handle = std::exchange(id_, 0);
        std::exchange(volume_, nullptr)->CallModel([handle](SimNtfs& model) {
            model.Close(handle);
            return true;
        });
    }
}
