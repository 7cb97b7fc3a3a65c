#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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
        const std::uint8_t* at = batch + offset;
        const std::size_t remaining = bytes - offset;
        const std::uint32_t length = ntfs::RecordLengthAt(at, remaining);
        if (length == 0) {
            return;
        }
        // One copy of the header; the time test comes before the name is looked at, as
        // most records of a pass's first reads are older than the watch.
        std::memcpy(&record.header, at, ntfs::kUsnRecordV2HeaderSize);
        if (record.header.MajorVersion == 2 && record.header.TimeStamp >= notBefore &&
            ntfs::PlaceName(at, length, record)) {
            onRecord(record);
        }
        offset += length;
    }
}

}  // namespace journal
