#pragma once

#include <cstddef>
#include <cstdint>

#include "ntfs/JournalRecords.h"

namespace journal {

// Walks the records of one batch as a journal read or an enumeration returns it: the
// 8-byte next value, then records back to back up to `bytes`. Hands every record the
// decoder takes (a valid version-2 record) whose Usn is at or after `fromUsn` to
// `onRecord`; what the decoder skips is stepped over, and where it stops, the batch ends.
// Never reads outside [batch, batch + bytes).
template <typename OnRecord>
void WalkBatch(const std::uint8_t* batch, std::size_t bytes, std::int64_t fromUsn,
               OnRecord&& onRecord) {
    if (bytes < 8) {
        return;
    }
    const std::uint8_t* at = batch + 8;
    const std::uint8_t* const end = batch + bytes;
    // Fewer bytes than a header left: nothing more can be walked.
    while (static_cast<std::size_t>(end - at) >= ntfs::kUsnRecordV2HeaderSize) {
        ntfs::UsnRecordV2 record;
        const ntfs::RecordCheck check =
            ntfs::DecodeWalkable(at, static_cast<std::size_t>(end - at), record);
        if (check == ntfs::RecordCheck::kStop) {
            return;
        }
        if (check == ntfs::RecordCheck::kRecord && record.Usn() >= fromUsn) {
            onRecord(record);
        }
        at += record.RecordLength();
    }
}

}  // namespace journal
