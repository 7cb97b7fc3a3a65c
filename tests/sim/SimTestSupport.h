#pragma once

// Helpers of the simulated volume's tests: control requests through the platform seam
// and the records they answer, decoded.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/VolumePlatform.h"
#include "ntfs/JournalRecords.h"
#include "sim/SimRecord.h"

namespace sim_test {

struct Batch {
    bool ok = false;
    std::uint32_t error = 0;
    std::uint32_t returned = 0;
    std::int64_t next = 0;  // the first 8 bytes
    std::vector<SimRecord> records;
    bool wellFormed = true;  // the records fill the returned bytes exactly
};

// Decodes the records after the 8-byte prefix of a batch.
inline void DecodeBatch(const std::vector<std::uint8_t>& buffer, Batch& batch) {
    if (!batch.ok || batch.returned < 8) {
        return;
    }
    std::memcpy(&batch.next, buffer.data(), sizeof batch.next);
    std::size_t offset = 8;
    while (offset < batch.returned) {
        ntfs::UsnRecordV2 decoded;
        if (ntfs::DecodeUsnRecordV2(buffer.data() + offset, batch.returned - offset, decoded) !=
            ntfs::RecordCheck::kRecord) {
            batch.wellFormed = false;
            return;
        }
        batch.records.push_back(
            *SimRecord::Decode(buffer.data() + offset, batch.returned - offset));
        offset += decoded.RecordLength();
    }
}

inline Batch ReadJournal(VolumePlatform& platform, PlatformHandle volume, std::int64_t startUsn,
                         std::uint64_t journalId, std::uint32_t outSize = 4096,
                         std::uint32_t reasonMask = 0xFFFFFFFFu, std::uint32_t onlyOnClose = 0) {
    ntfs::ReadUsnJournalDataV0 request{};
    request.StartUsn = startUsn;
    request.ReasonMask = reasonMask;
    request.ReturnOnlyOnClose = onlyOnClose;
    request.UsnJournalID = journalId;
    std::vector<std::uint8_t> buffer(outSize + 1, 0xCD);
    Batch batch;
    batch.ok = platform.DeviceIoControl(volume, ntfs::kFsctlReadUsnJournal, &request,
                                        sizeof request, buffer.data(), outSize, batch.returned);
    DecodeBatch(buffer, batch);
    return batch;
}

inline Batch Enumerate(VolumePlatform& platform, PlatformHandle volume, std::uint64_t start,
                       std::int64_t highUsn = 0x7FFFFFFFFFFFFFFFLL, std::uint32_t outSize = 10240,
                       std::int64_t lowUsn = 0) {
    ntfs::MftEnumDataV0 request{start, lowUsn, highUsn};
    std::vector<std::uint8_t> buffer(outSize + 1, 0xCD);
    Batch batch;
    batch.ok = platform.DeviceIoControl(volume, ntfs::kFsctlEnumUsnData, &request, sizeof request,
                                        buffer.data(), outSize, batch.returned);
    DecodeBatch(buffer, batch);
    return batch;
}

inline bool QueryJournal(VolumePlatform& platform, PlatformHandle volume,
                         ntfs::UsnJournalDataV0& data) {
    std::uint32_t returned = 0;
    return platform.DeviceIoControl(volume, ntfs::kFsctlQueryUsnJournal, nullptr, 0, &data,
                                    sizeof data, returned) &&
           returned == sizeof data;
}

inline bool CreateJournal(VolumePlatform& platform, PlatformHandle volume,
                          std::uint64_t maximumSize = 0) {
    ntfs::CreateUsnJournalData request{maximumSize, 0};
    std::uint32_t returned = 0;
    return platform.DeviceIoControl(volume, ntfs::kFsctlCreateUsnJournal, &request, sizeof request,
                                    nullptr, 0, returned);
}

inline std::vector<std::uint32_t> ReasonsOf(const std::vector<SimRecord>& records) {
    std::vector<std::uint32_t> reasons;
    for (const SimRecord& record : records) {
        reasons.push_back(record.reason);
    }
    return reasons;
}

}  // namespace sim_test
