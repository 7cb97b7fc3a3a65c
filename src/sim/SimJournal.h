#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "ntfs/JournalRecords.h"
#include "sim/JournalStreamLoad.h"
#include "sim/JournalStreamScanner.h"
#include "sim/SimRecord.h"

// The change journal of one simulated volume: its identity and bounds, and its records
// as the exact bytes the volume hands out. A record's Usn is its offset in the journal
// stream; as on disk, a record never crosses a 4 KiB page, so a record that would is
// placed at the next page and the Usn jumps. Records may also be placed at Usn values
// of their own (a raw $J extract keeps its numbering). When the journal grows past its
// maximum size the oldest records are dropped and FirstUsn moves on: that is how a
// journal wraps.
//
// Storage: the record bytes back to back in one buffer, and a queue of (Usn, offset,
// length, reason) entries; dropping from the front is amortised O(1), finding a Usn is
// a binary search. Not thread-safe: its volume serialises access.
class SimJournal {
public:
    static constexpr std::uint64_t kDefaultMaximumSize = 32ULL << 20;
    static constexpr std::uint64_t kDefaultAllocationDelta = 8ULL << 20;
    static constexpr std::int64_t kMaxUsn = 0x7FFFFFFFFFFF0000LL;
    static constexpr std::int64_t kPageSize = 4096;

    bool IsActive() const { return active_; }
    std::uint64_t Id() const { return id_; }
    std::int64_t FirstUsn() const { return firstUsn_; }
    std::int64_t NextUsn() const { return nextUsn_; }
    std::size_t RecordCount() const { return entries_.size(); }
    std::size_t MemoryBytes() const { return bytes_.capacity() + entries_.size() * sizeof(Entry); }
    // USN_JOURNAL_DATA_V0 as FSCTL_QUERY_USN_JOURNAL fills it.
    ntfs::UsnJournalDataV0 Data() const;

    // A new, empty journal instance with identifier `id`. Its Usn values go on from the
    // page after the last one the volume used: they never go back on a volume. Sizes of
    // 0 take the defaults.
    void Create(std::uint64_t id, std::uint64_t maximumSize, std::uint64_t allocationDelta);
    // New sizes for the active journal; 0 keeps a size. A smaller maximum drops records.
    void Resize(std::uint64_t maximumSize, std::uint64_t allocationDelta);
    void Delete();

    // Places a record at the next Usn and answers that Usn (-1 when the journal is not
    // active or the record is empty). With `stampUsn` the record's Usn field is set;
    // without it the bytes stay exactly as given (tests of malformed records).
    std::int64_t Append(std::span<const std::uint8_t> bytes, bool stampUsn);
    // Places a record at its own `usn`, which must not lie below NextUsn.
    bool AppendAt(std::int64_t usn, std::span<const std::uint8_t> bytes);
    // Loads the version-2 records of a raw $J stream (records back to back, zero-filled
    // regions, records of other versions), each at the Usn it carries, in stream order.
    // The maximum size grows to hold them all: a loaded journal does not wrap.
    JournalStreamLoad LoadStream(std::span<const std::uint8_t> stream);
    // Drops every record below `usn` (a wrap up to that point).
    void DropBefore(std::int64_t usn);

    // FSCTL_READ_USN_JOURNAL: the next Usn, then as many whole records matching the
    // request as fit. Answers a Win32 error code, 0 on success. Every read returns at
    // once, as one with BytesToWaitFor 0 does: a simulation never blocks its reader.
    std::uint32_t Read(const ntfs::ReadUsnJournalDataV0& request, std::uint8_t* out,
                       std::uint32_t outSize, std::uint32_t& returned) const;

    // The records from `usn` on that decode as version 2, for tests and tools.
    std::vector<SimRecord> RecordsSince(std::int64_t usn) const;

private:
    struct Entry {
        std::int64_t usn;
        std::uint64_t offset;  // in the stream of all bytes ever stored
        std::uint32_t length;
        std::uint32_t reason;
    };

    void Store(std::int64_t usn, std::span<const std::uint8_t> bytes);
    void DropOldest();
    void TrimToMaximumSize();
    const std::uint8_t* BytesOf(const Entry& entry) const;
    std::deque<Entry>::const_iterator FirstAtOrAfter(std::int64_t usn) const;

    bool active_ = false;
    std::uint64_t id_ = 0;
    std::int64_t firstUsn_ = 0;
    std::int64_t nextUsn_ = 0;
    std::int64_t lowestValidUsn_ = 0;
    std::uint64_t maximumSize_ = kDefaultMaximumSize;
    std::uint64_t allocationDelta_ = kDefaultAllocationDelta;
    std::deque<Entry> entries_;
    std::vector<std::uint8_t> bytes_;
    std::uint64_t bytesBase_ = 0;  // stream offset of bytes_[0]
};
