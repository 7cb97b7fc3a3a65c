#include "sim/JournalStreamScanner.h"

#include <cstring>

#include "ntfs/JournalRecords.h"

std::optional<JournalStreamScanner::Record> JournalStreamScanner::Next() {
    constexpr std::size_t kStep = 8;
    while (stream_.size() - offset_ >= kStep) {
        const std::uint8_t* at = stream_.data() + offset_;
        const std::size_t remaining = stream_.size() - offset_;
        std::uint32_t length;
        std::memcpy(&length, at, sizeof length);
        if (length == 0) {
            counts_.zeroBytes += kStep;
            offset_ += kStep;
            continue;
        }
        if (length < ntfs::kUsnRecordV2HeaderSize || length % 8 != 0 ||
            length > kMaxPlausibleRecord || length > remaining) {
            ++counts_.implausibleSkips;
            offset_ += kStep;
            continue;
        }
        const Record record{offset_, stream_.subspan(offset_, length)};
        offset_ += length;
        ntfs::UsnRecordV2 decoded;
        switch (ntfs::DecodeUsnRecordV2(record.bytes.data(), length, decoded)) {
            case ntfs::RecordCheck::kRecord:
                ++counts_.records;
                return record;
            case ntfs::RecordCheck::kSkip:
                if (decoded.MajorVersion() == 2) {
                    ++counts_.malformed;
                } else {
                    ++counts_.otherVersions;
                }
                break;
            case ntfs::RecordCheck::kStop:  // cannot happen: the length was checked above
                break;
        }
    }
    // A tail shorter than one step cannot hold a record.
    if (offset_ < stream_.size()) {
        const std::size_t tail = stream_.size() - offset_;
        bool zero = true;
        for (std::size_t i = offset_; i < stream_.size(); ++i) {
            zero = zero && stream_[i] == 0;
        }
        if (zero) {
            counts_.zeroBytes += tail;
        } else {
            ++counts_.implausibleSkips;
        }
        offset_ = stream_.size();
    }
    return std::nullopt;
}
