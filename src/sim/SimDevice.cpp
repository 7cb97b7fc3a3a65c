#include "sim/SimDevice.h"

#include <cstring>
#include <optional>
#include <string>

#include "ntfs/Win32Codes.h"

namespace {

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

}  // namespace

std::uint32_t SimDevice::Answer(std::uint32_t code, const std::uint8_t* in, std::uint32_t inSize,
                                std::uint8_t* out, std::uint32_t outSize, std::uint32_t& returned) {
    if (code == ntfs::kFsctlDeleteUsnJournal) {
        return DeleteJournal(in, inSize);
    }
    const bool onTheJournal = code == ntfs::kFsctlCreateUsnJournal ||
                              code == ntfs::kFsctlQueryUsnJournal ||
                              code == ntfs::kFsctlReadUsnJournal || code == ntfs::kFsctlEnumUsnData;
    if (onTheJournal && model_.Deletion().Meet()) {
        return win32::kErrorJournalDeleteInProgress;
    }
    switch (code) {
        case ntfs::kFsctlCreateUsnJournal: {
            if (inSize < sizeof(ntfs::CreateUsnJournalData)) {
                return win32::kErrorInvalidParameter;
            }
            const auto request = ntfs::ReadStruct<ntfs::CreateUsnJournalData>(in);
            lastCreate_ = request;
            CreateJournal(request.MaximumSize, request.AllocationDelta);
            return win32::kErrorSuccess;
        }
        case ntfs::kFsctlQueryUsnJournal: {
            if (!model_.Journal().IsActive()) {
                return win32::kErrorJournalNotActive;
            }
            if (outSize < sizeof(ntfs::UsnJournalDataV0)) {
                return win32::kErrorInsufficientBuffer;
            }
            const ntfs::UsnJournalDataV0 data = model_.Journal().Data();
            std::memcpy(out, &data, sizeof data);
            returned = sizeof data;
            return win32::kErrorSuccess;
        }
        case ntfs::kFsctlReadUsnJournal:
            if (inSize < sizeof(ntfs::ReadUsnJournalDataV0)) {
                return win32::kErrorInvalidParameter;
            }
            return model_.Journal().Read(ntfs::ReadStruct<ntfs::ReadUsnJournalDataV0>(in), out,
                                         outSize, returned);
        case ntfs::kFsctlEnumUsnData:
            if (inSize < sizeof(ntfs::MftEnumDataV0)) {
                return win32::kErrorInvalidParameter;
            }
            if (!model_.Journal().IsActive()) {
                return win32::kErrorJournalNotActive;
            }
            return model_.Files().Enumerate(ntfs::ReadStruct<ntfs::MftEnumDataV0>(in), out, outSize,
                                            returned);
        default:
            return win32::kErrorInvalidFunction;
    }
}

void SimDevice::CreateJournal(std::uint64_t maximumSize, std::uint64_t allocationDelta) {
    if (!model_.Journal().IsActive()) {
        model_.Journal().Create(model_.NewJournalId(), maximumSize, allocationDelta);
        return;
    }
    // NTFS sets an existing journal to the sizes of the request; a smaller maximum drops
    // the oldest records.
    model_.Journal().Resize(
        maximumSize != 0 ? maximumSize : SimJournal::kDefaultMaximumSize,
        allocationDelta != 0 ? allocationDelta : SimJournal::kDefaultAllocationDelta);
}

std::uint32_t SimDevice::DeleteJournal(const std::uint8_t* in, std::uint32_t inSize) {
    if (inSize < sizeof(ntfs::DeleteUsnJournalData)) {
        return win32::kErrorInvalidParameter;
    }
    const auto request = ntfs::ReadStruct<ntfs::DeleteUsnJournalData>(in);
    const bool remove = (request.DeleteFlags & ntfs::kUsnDeleteFlagDelete) != 0;
    const bool notify = (request.DeleteFlags & ntfs::kUsnDeleteFlagNotify) != 0;
    if (!remove && !notify) {
        return win32::kErrorInvalidParameter;
    }
    if (remove && model_.Deletion().InProgress()) {
        model_.Deletion().Meet();
        return win32::kErrorJournalDeleteInProgress;
    }
    if (remove && model_.Journal().IsActive() && request.UsnJournalID != model_.Journal().Id()) {
        return win32::kErrorInvalidParameter;
    }
    if (remove) {
        model_.Journal().Delete();
        model_.Deletion().Begin(kDeletionRequests);
    }
    // A synchronous request that asks to be told returns once the deletion is over; a
    // simulation never blocks its caller, so the deletion ends now.
    if (notify) {
        model_.Deletion().Finish();
    }
    return win32::kErrorSuccess;
}

std::int32_t SimDevice::QueryNameById(std::uint64_t fileId, void* buffer, std::uint32_t size,
                                      std::uint32_t desiredAccess) const {
    const std::optional<std::u16string> path = model_.PathOf(fileId);
    if (!path) {
        return win32::kStatusObjectNameNotFound;
    }
    if ((WithGenericRights(desiredAccess) & model_.DeniedRights(fileId)) != 0) {
        return win32::kStatusAccessDenied;
    }
    if (buffer == nullptr || size < ntfs::kFileNameInformationNameOffset) {
        return win32::kStatusInfoLengthMismatch;
    }
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const auto nameBytes = static_cast<std::uint32_t>(path->size() * 2);
    const std::uint32_t room = (size - ntfs::kFileNameInformationNameOffset) & ~1u;
    const std::uint32_t copied = nameBytes < room ? nameBytes : room;
    std::memcpy(bytes, &nameBytes, sizeof nameBytes);
    std::memcpy(bytes + ntfs::kFileNameInformationNameOffset, path->data(), copied);
    return copied < nameBytes ? win32::kStatusBufferOverflow : win32::kStatusSuccess;
}
