#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "ntfs/JournalRecords.h"

namespace journal {

// Walks the records of one batch as a journal read or an enumeration returns it: the
// 8-byte next value, then records back to back up to `bytes`. Hands every valid version-2
// record stamped at or after `notBefore`, or whose Usn is at or after `fromUsn`, to
// `onRecord`. Records of other versions, or whose name lies outside them, are stepped
// over; a length that cannot be walked ends the batch. Never reads outside
// [batch, batch + bytes).
template <typename OnRecord>
void WalkBatch(const std::uint8_t* batch, std::size_t bytes, std::int64_t notBefore,
               std::int64_t fromUsn, OnRecord&& onRecord) {
    if (bytes < 8) {
        return;
    }
    const std::uint8_t* at = batch + 8;
    const std::uint8_t* const end = batch + bytes;
    // Fewer bytes than a header left: nothing more can be walked.
    while (static_cast<std::size_t>(end - at) >= ntfs::kUsnRecordV2HeaderSize) {
        const std::uint32_t length = ntfs::WalkableLength(at, static_cast<std::size_t>(end - at));
        if (length == 0) {
            return;
        }
        // The time test comes before the name is looked at: most records of a pass's
        // first reads are older than the watch.
        const ntfs::UsnRecordV2 record(at, length);
        if (record.MajorVersion() == 2 &&
            (record.TimeStamp() >= notBefore || record.Usn() >= fromUsn) && record.NameInside()) {
            onRecord(record);
        }
        at += length;
    }
}

// The same, by time stamp alone.
template <typename OnRecord>
void WalkBatch(const std::uint8_t* batch, std::size_t bytes, std::int64_t notBefore,
               OnRecord&& onRecord) {
    WalkBatch(batch, bytes, notBefore, INT64_MAX, std::forward<OnRecord>(onRecord));
}

}  // namespace journal
