#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The records of a raw `$J` stream (a change journal copied off a volume): version-2
// records in file order with their own Usn values, as a version-0 journal read would
// return them. Zero-filled regions and records of other versions are stepped over;
// implausible bytes are skipped 8 at a time and counted.
class RawJournal {
public:
    static constexpr std::uint32_t kMaxPlausibleRecord = 64 * 1024;

    // Reads a file; false with a message when it cannot be read.
    bool Load(const std::string& path, std::string& error);
    // Parses bytes already in memory.
    void Parse(std::vector<std::uint8_t> bytes);

    // Byte ranges of the version-2 records, in file order.
    struct Span {
        std::size_t offset;
        std::uint32_t length;
    };
    const std::vector<Span>& Records() const { return records_; }
    const std::uint8_t* Bytes(const Span& span) const { return bytes_.data() + span.offset; }
    std::size_t OtherVersionCount() const { return otherVersions_; }
    std::size_t ImplausibleSkipCount() const { return implausibleSkips_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::vector<Span> records_;
    std::size_t otherVersions_ = 0;
    std::size_t implausibleSkips_ = 0;
};
