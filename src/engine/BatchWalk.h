#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/JournalRecords.h"

namespace journal {

// Walks the records of one batch as a journal read or an enumeration returns it: the
// 8-byte next value, then records back to back up to `bytes`. Hands every valid version-2
// record stamped at or after `notBefore` to `onRecord`. Records of other versions, or
// whose name lies outside them, are stepped over; a length that cannot be walked ends
// the batch. Never reads outside [batch, batch + bytes).
template <typename OnRecord>
void WalkBatch(const std::uint8_t* batch, std::size_t bytes, std::int64_t notBefore,
               OnRecord&& onRecord) {
    if (bytes < 8) {
        return;
    }
    std::size_t offset = 8;
    ntfs::UsnRecordV2 record;
    while (offset < bytes) {
        const ntfs::RecordCheck check =
            ntfs::DecodeUsnRecordV2(batch + offset, bytes - offset, record);
        if (check == ntfs::RecordCheck::kStop) {
            return;
        }
        if (check == ntfs::RecordCheck::kRecord && record.header.TimeStamp >= notBefore) {
            onRecord(record);
        }
        offset += record.header.RecordLength;
    }
}

}  // namespace journal
