#pragma once

#include <cstdint>
#include <optional>

#include "engine/VolumePlatform.h"
#include "sim/SimNtfs.h"

// The answers of a simulated volume's device to what the platform asks of it, byte for
// byte as Windows gives them: the change-journal control codes (create, query, read,
// enumerate, delete) and the name query of an open by file id. Reads and changes the
// model it answers for; its volume holds the lock around every call.
class SimDevice {
public:
    // FSCTL_DELETE_USN_JOURNAL starts a deletion that lasts this many journal requests.
    static constexpr int kDeletionRequests = 3;

    explicit SimDevice(SimNtfs& model) : model_(model) {}

    // One control request: the Win32 error code, 0 on success; `returned` the bytes written.
    std::uint32_t Answer(std::uint32_t code, const std::uint8_t* in, std::uint32_t inSize,
                         std::uint8_t* out, std::uint32_t outSize, std::uint32_t& returned);
    // As FSCTL_CREATE_USN_JOURNAL: a new journal where there is none; an active one is set
    // to the sizes given, 0 meaning the default size, as for a new one.
    void CreateJournal(std::uint64_t maximumSize, std::uint64_t allocationDelta);
    // Open by file id asking for `desiredAccess`, and FileNameInformation: the path from
    // the root. NTSTATUS.
    std::int32_t QueryNameById(std::uint64_t fileId, void* buffer, std::uint32_t size,
                               std::uint32_t desiredAccess) const;

    // The sizes the last FSCTL_CREATE_USN_JOURNAL asked for.
    std::optional<ntfs::CreateUsnJournalData> LastCreateRequest() const { return lastCreate_; }

private:
    std::uint32_t DeleteJournal(const std::uint8_t* in, std::uint32_t inSize);

    SimNtfs& model_;
    std::optional<ntfs::CreateUsnJournalData> lastCreate_;
};
