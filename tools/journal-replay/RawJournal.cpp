#include "RawJournal.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "engine/JournalRecords.h"

bool RawJournal::Load(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open journal file " + path;
        return false;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (file.bad()) {
        error = "cannot read journal file " + path;
        return false;
    }
    Parse(std::move(bytes));
    return true;
}

void RawJournal::Parse(std::vector<std::uint8_t> bytes) {
    bytes_ = std::move(bytes);
    records_.clear();
    otherVersions_ = 0;
    implausibleSkips_ = 0;
    std::size_t offset = 0;
    while (offset + 8 <= bytes_.size()) {
        std::uint32_t length;
        std::memcpy(&length, bytes_.data() + offset, sizeof length);
        if (length == 0) {
            offset += 8;  // a zero-filled region: journals are sparse at their head
            continue;
        }
        const bool plausible = length >= ntfs::kUsnRecordV2HeaderSize && length % 8 == 0 &&
                               length <= kMaxPlausibleRecord && length <= bytes_.size() - offset;
        if (!plausible) {
            ++implausibleSkips_;
            offset += 8;
            continue;
        }
        ntfs::UsnRecordV2 record;
        if (ntfs::DecodeUsnRecordV2(bytes_.data() + offset, length, record) ==
            ntfs::RecordCheck::kRecord) {
            records_.push_back({offset, length});
        } else {
            ++otherVersions_;
        }
        offset += length;
    }
}
