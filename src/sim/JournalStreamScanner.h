#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Walks a raw `$J` stream, the change journal as it lies on disk or in an extract: records
// back to back and 8-byte aligned, with zero-filled regions where the journal was freed
// and records of other versions among them. Yields the version-2 records in file order,
// as a version-0 journal read would return them, and counts what it stepped over.
// Bytes that cannot start a record are skipped 8 at a time, so that the walk finds its
// footing again at the next record.
class JournalStreamScanner {
public:
    // No record written by NTFS comes near this; a longer length is taken for garbage.
    static constexpr std::uint32_t kMaxPlausibleRecord = 64 * 1024;

    struct Record {
        std::size_t offset = 0;               // in the stream
        std::span<const std::uint8_t> bytes;  // RecordLength bytes
    };

    struct Counts {
        std::size_t records = 0;           // version-2 records yielded
        std::size_t otherVersions = 0;     // whole records of other versions stepped over
        std::size_t malformed = 0;         // version-2 records whose name lies outside them
        std::size_t zeroBytes = 0;         // bytes of zero-filled regions
        std::size_t implausibleSkips = 0;  // 8-byte steps over bytes that are no record
    };

    explicit JournalStreamScanner(std::span<const std::uint8_t> stream) : stream_(stream) {}

    // The next version-2 record, or nothing at the end of the stream.
    std::optional<Record> Next();
    const Counts& Tally() const { return counts_; }

private:
    std::span<const std::uint8_t> stream_;
    std::size_t offset_ = 0;
    Counts counts_;
};
