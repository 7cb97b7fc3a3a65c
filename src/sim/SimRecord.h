#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ntfs/JournalRecords.h"

// One change-journal record as fields: what an operation writes, what a test appends
// with any values it likes, and what the journal's records decode to. Encode gives the
// platform's version-2 bytes: the 60-byte header, the name at offset 60, zero padding
// up to a multiple of 8.
struct SimRecord {
    std::int64_t usn = 0;
    std::uint64_t fileReference = 0;
    std::uint64_t parentReference = 0;
    std::int64_t timeStamp = 0;
    std::uint32_t reason = 0;
    std::uint32_t sourceInfo = 0;
    std::uint32_t securityId = 0;
    std::uint32_t attributes = 0;
    std::u16string name;
    std::uint16_t majorVersion = 2;
    std::uint16_t minorVersion = 0;

    std::vector<std::uint8_t> Encode() const;
    // A version-2 record at the start of `bytes`, or nothing when it is not one.
    static std::optional<SimRecord> Decode(const std::uint8_t* bytes, std::size_t size);
    // RecordLength of a version-2 record with a name of `nameUnits` UTF-16 units.
    static std::uint32_t LengthFor(std::size_t nameUnits);
    // Writes the record of `header` and `name` to `out`, LengthFor(name.size()) bytes;
    // the length, name length and name offset fields are set here.
    static void EncodeTo(ntfs::UsnRecordV2Header header, std::u16string_view name,
                         std::uint8_t* out);
};
