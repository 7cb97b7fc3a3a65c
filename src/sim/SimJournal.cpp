#include "sim/SimJournal.h"

#include <algorithm>
#include <cstring>

#include "ntfs/Win32Codes.h"

namespace {

constexpr std::size_t kReasonOffset = offsetof(ntfs::UsnRecordV2Header, Reason);
constexpr std::size_t kUsnOffset = offsetof(ntfs::UsnRecordV2Header, Usn);
constexpr std::uint32_t kNextUsnSize = 8;
// Dead bytes at the front of the buffer are given back once they are this many and
// at least half of it.
constexpr std::uint64_t kCompactionThreshold = 64 * 1024;

std::int64_t RoundUpToPage(std::int64_t usn) {
    return (usn + SimJournal::kPageSize - 1) / SimJournal::kPageSize * SimJournal::kPageSize;
}

std::int64_t RoundUpTo8(std::int64_t usn) {
    return (usn + 7) / 8 * 8;
}

// A record too short to carry a reason matches every filter, so that tests can hand
// such bytes to a reader.
std::uint32_t ReasonOf(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kReasonOffset + 4) {
        return 0xFFFFFFFFu;
    }
    std::uint32_t reason;
    std::memcpy(&reason, bytes.data() + kReasonOffset, sizeof reason);
    return reason;
}

}  // namespace

ntfs::UsnJournalDataV0 SimJournal::Data() const {
    ntfs::UsnJournalDataV0 data{};
    data.UsnJournalID = id_;
    data.FirstUsn = firstUsn_;
    data.NextUsn = nextUsn_;
    data.LowestValidUsn = lowestValidUsn_;
    data.MaxUsn = kMaxUsn;
    data.MaximumSize = maximumSize_;
    data.AllocationDelta = allocationDelta_;
    return data;
}

void SimJournal::Create(std::uint64_t id, std::uint64_t maximumSize,
                        std::uint64_t allocationDelta) {
    entries_.clear();
    bytes_.clear();
    bytesBase_ = 0;
    active_ = true;
    id_ = id;
    nextUsn_ = RoundUpToPage(nextUsn_);
    firstUsn_ = nextUsn_;
    lowestValidUsn_ = nextUsn_;
    maximumSize_ = maximumSize != 0 ? maximumSize : kDefaultMaximumSize;
    allocationDelta_ = allocationDelta != 0 ? allocationDelta : kDefaultAllocationDelta;
}

void SimJournal::Resize(std::uint64_t maximumSize, std::uint64_t allocationDelta) {
    if (maximumSize != 0) {
        maximumSize_ = maximumSize;
    }
    if (allocationDelta != 0) {
        allocationDelta_ = allocationDelta;
    }
    TrimToMaximumSize();
}

void SimJournal::Delete() {
    active_ = false;
    id_ = 0;
    entries_.clear();
    bytes_.clear();
    bytes_.shrink_to_fit();
    bytesBase_ = 0;
    firstUsn_ = nextUsn_;
}

std::int64_t SimJournal::Append(std::span<const std::uint8_t> bytes, bool stampUsn) {
    if (!active_ || bytes.empty()) {
        return -1;
    }
    std::int64_t usn = nextUsn_;
    const auto length = static_cast<std::int64_t>(bytes.size());
    if (length <= kPageSize && usn % kPageSize + length > kPageSize) {
        usn = RoundUpToPage(usn);
    }
    Store(usn, bytes);
    if (stampUsn && bytes.size() >= kUsnOffset + sizeof usn) {
        std::memcpy(bytes_.data() + (entries_.back().offset - bytesBase_) + kUsnOffset, &usn,
                    sizeof usn);
    }
    TrimToMaximumSize();
    return usn;
}

bool SimJournal::AppendAt(std::int64_t usn, std::span<const std::uint8_t> bytes) {
    if (!active_ || bytes.empty() || usn < nextUsn_) {
        return false;
    }
    if (entries_.empty()) {
        firstUsn_ = usn;
    }
    Store(usn, bytes);
    TrimToMaximumSize();
    return true;
}

JournalStreamLoad SimJournal::LoadStream(std::span<const std::uint8_t> stream) {
    JournalStreamScanner scanner(stream);
    JournalStreamLoad load;
    if (!active_) {
        while (scanner.Next()) {
        }
        load.scanned = scanner.Tally();
        return load;
    }
    // Nothing is dropped while loading; afterwards the maximum holds what was loaded.
    const std::uint64_t maximumSize = maximumSize_;
    maximumSize_ = UINT64_MAX;
    while (const auto record = scanner.Next()) {
        std::int64_t usn;
        std::memcpy(&usn, record->bytes.data() + kUsnOffset, sizeof usn);
        const auto length = static_cast<std::int64_t>(record->bytes.size());
        if (usn <= kMaxUsn - length && AppendAt(usn, record->bytes)) {
            ++load.loaded;
        } else {
            ++load.badUsn;
        }
    }
    load.scanned = scanner.Tally();
    maximumSize_ = std::max(maximumSize, static_cast<std::uint64_t>(nextUsn_ - firstUsn_));
    return load;
}

void SimJournal::DropBefore(std::int64_t usn) {
    while (!entries_.empty() && entries_.front().usn < usn) {
        DropOldest();
    }
    if (usn > firstUsn_) {
        firstUsn_ = entries_.empty() ? nextUsn_ : entries_.front().usn;
    }
}

std::uint32_t SimJournal::Read(const ntfs::ReadUsnJournalDataV0& request, std::uint8_t* out,
                               std::uint32_t outSize, std::uint32_t& returned) const {
    returned = 0;
    if (!active_) {
        return win32::kErrorJournalNotActive;
    }
    if (request.UsnJournalID != id_ || request.StartUsn < 0) {
        return win32::kErrorInvalidParameter;
    }
    if (out == nullptr || outSize < kNextUsnSize) {
        return win32::kErrorInsufficientBuffer;
    }
    std::int64_t start = request.StartUsn;
    if (start == 0) {
        start = firstUsn_;
    } else if (start < firstUsn_) {
        return win32::kErrorJournalEntryDeleted;
    }
    if (start > nextUsn_) {
        return win32::kErrorInvalidParameter;
    }

    std::uint32_t used = kNextUsnSize;
    std::int64_t next = nextUsn_;
    for (auto it = FirstAtOrAfter(start); it != entries_.end(); ++it) {
        const bool wanted = (it->reason & request.ReasonMask) != 0 &&
                            (request.ReturnOnlyOnClose == 0 || (it->reason & ntfs::kReasonClose));
        if (!wanted) {
            continue;
        }
        if (it->length > outSize - used) {
            if (used == kNextUsnSize) {
                return win32::kErrorInsufficientBuffer;
            }
            next = it->usn;
            break;
        }
        std::memcpy(out + used, BytesOf(*it), it->length);
        used += it->length;
    }
    std::memcpy(out, &next, sizeof next);
    returned = used;
    return win32::kErrorSuccess;
}

std::vector<SimRecord> SimJournal::RecordsSince(std::int64_t usn) const {
    std::vector<SimRecord> records;
    for (auto it = FirstAtOrAfter(usn); it != entries_.end(); ++it) {
        if (auto record = SimRecord::Decode(BytesOf(*it), it->length)) {
            records.push_back(std::move(*record));
        }
    }
    return records;
}

void SimJournal::Store(std::int64_t usn, std::span<const std::uint8_t> bytes) {
    const std::uint64_t offset = bytesBase_ + bytes_.size();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    entries_.push_back({usn, offset, static_cast<std::uint32_t>(bytes.size()), ReasonOf(bytes)});
    // Usn values stay 8-byte aligned even after a malformed record of odd length.
    nextUsn_ = RoundUpTo8(usn + static_cast<std::int64_t>(bytes.size()));
}

void SimJournal::DropOldest() {
    entries_.pop_front();
    firstUsn_ = entries_.empty() ? nextUsn_ : entries_.front().usn;
    const std::uint64_t keepFrom =
        entries_.empty() ? bytesBase_ + bytes_.size() : entries_.front().offset;
    const std::uint64_t dead = keepFrom - bytesBase_;
    if (dead >= kCompactionThreshold && dead * 2 >= bytes_.size()) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(dead));
        bytesBase_ = keepFrom;
    }
}

void SimJournal::TrimToMaximumSize() {
    while (!entries_.empty() &&
           static_cast<std::uint64_t>(nextUsn_ - entries_.front().usn) > maximumSize_) {
        DropOldest();
    }
}

const std::uint8_t* SimJournal::BytesOf(const Entry& entry) const {
    return bytes_.data() + (entry.offset - bytesBase_);
}

std::deque<SimJournal::Entry>::const_iterator SimJournal::FirstAtOrAfter(std::int64_t usn) const {
    return std::lower_bound(
        entries_.begin(), entries_.end(), usn,
        [](const Entry& entry, std::int64_t value) { return entry.usn < value; });
}
