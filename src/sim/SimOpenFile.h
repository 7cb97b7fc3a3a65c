#pragma once

#include <cstdint>
#include <string_view>

#include "sim/SimHandleCalls.h"

class SimNtfs;

// A handle on a file or directory of a simulated volume, opened through one of its
// names. Changes made through it gather reason bits on the file, writing a record each
// time a new bit appears; closing the file's last handle (explicitly or by destruction)
// writes the record with USN_REASON_CLOSE and all gathered bits, as NTFS does. Move-only;
// must not outlive its volume. Every call answers false once the handle is closed or
// when the volume refuses the change (a bad name, a name taken, a directory not empty).
class SimOpenFile {
public:
    SimOpenFile() = default;
    // Handle number `handle` of `volume`, on the file `reference`: made by the volume.
    SimOpenFile(SimHandleCalls* volume, std::uint64_t handle, std::uint64_t reference)
        : volume_(volume), id_(handle), reference_(reference) {}
    SimOpenFile(SimOpenFile&& other) noexcept;
    SimOpenFile& operator=(SimOpenFile&& other) noexcept;
    SimOpenFile(const SimOpenFile&) = delete;
    SimOpenFile& operator=(const SimOpenFile&) = delete;
    ~SimOpenFile();

    bool IsOpen() const { return volume_ != nullptr; }
    explicit operator bool() const { return IsOpen(); }
    // The file reference number of the file (0 when the open failed).
    std::uint64_t Reference() const { return reference_; }

    // Writes `length` bytes at `offset`: DATA_EXTEND when the file grows, DATA_OVERWRITE
    // when existing bytes are written or the data no longer fits in its MFT record.
    bool Write(std::uint64_t offset, std::uint64_t length);
    // Sets the end of file: DATA_EXTEND or DATA_TRUNCATION.
    bool SetLength(std::uint64_t length);
    // Renames the name this handle was opened through, within its directory or into
    // another (a move): RENAME_OLD_NAME, then RENAME_NEW_NAME; the close adds the close
    // record. With `replaceExisting` a file of that name is deleted first.
    bool Rename(std::uint64_t newParent, std::u16string_view newName, bool replaceExisting = false);
    // BASIC_INFO_CHANGE with the new attributes (the directory bit cannot change).
    bool SetAttributes(std::uint32_t attributes);
    bool ChangeSecurity();
    // Gathers any other reason bits (OBJECT_ID_CHANGE, EA_CHANGE, …); the close bit is
    // left to Close.
    bool NoteChange(std::uint32_t reasons);
    // A further name for this file: HARD_LINK_CHANGE under the new name; the handle's own
    // name, its later records' and its close's, stays the one it was opened through.
    bool AddHardLink(std::uint64_t parent, std::u16string_view name);
    // Deletes the name at the close of the file's last handle: FILE_DELETE with the
    // close when it was the last name, HARD_LINK_CHANGE otherwise. A directory must be
    // empty.
    bool MarkForDelete();
    void Close();

private:
    // One call of the model with this handle's number, under the volume's lock; false once
    // the handle is closed.
    template <typename Call>
    bool Through(Call call) {
        return IsOpen() && volume_->CallModel([&](SimNtfs& model) { return call(model, id_); });
    }

    SimHandleCalls* volume_ = nullptr;
    std::uint64_t id_ = 0;
    std::uint64_t reference_ = 0;
};
