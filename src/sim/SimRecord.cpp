#include "sim/SimRecord.h"

#include <cstring>

namespace {

// FileNameLength is a 16-bit byte count.
constexpr std::size_t kMaxNameUnits = 0x7FFF;

}  // namespace

std::uint32_t SimRecord::LengthFor(std::size_t nameUnits) {
    const std::size_t units = nameUnits < kMaxNameUnits ? nameUnits : kMaxNameUnits;
    return static_cast<std::uint32_t>((ntfs::kUsnRecordV2HeaderSize + units * 2 + 7) & ~7u);
}

void SimRecord::EncodeTo(ntfs::UsnRecordV2Header header, std::u16string_view name,
                         std::uint8_t* out) {
    const std::size_t units = name.size() < kMaxNameUnits ? name.size() : kMaxNameUnits;
    header.RecordLength = LengthFor(units);
    header.FileNameLength = static_cast<std::uint16_t>(units * 2);
    header.FileNameOffset = static_cast<std::uint16_t>(ntfs::kUsnRecordV2HeaderSize);
    std::memcpy(out, &header, ntfs::kUsnRecordV2HeaderSize);
    std::memcpy(out + ntfs::kUsnRecordV2HeaderSize, name.data(), units * 2);
    const std::size_t end = ntfs::kUsnRecordV2HeaderSize + units * 2;
    std::memset(out + end, 0, header.RecordLength - end);
}

std::vector<std::uint8_t> SimRecord::Encode() const {
    ntfs::UsnRecordV2Header header{};
    header.MajorVersion = majorVersion;
    header.MinorVersion = minorVersion;
    header.FileReferenceNumber = fileReference;
    header.ParentFileReferenceNumber = parentReference;
    header.Usn = usn;
    header.TimeStamp = timeStamp;
    header.Reason = reason;
    header.SourceInfo = sourceInfo;
    header.SecurityId = securityId;
    header.FileAttributes = attributes;
    std::vector<std::uint8_t> bytes(LengthFor(name.size()));
    EncodeTo(header, name, bytes.data());
    return bytes;
}

std::optional<SimRecord> SimRecord::Decode(const std::uint8_t* bytes, std::size_t size) {
    ntfs::UsnRecordV2 decoded;
    if (ntfs::DecodeUsnRecordV2(bytes, size, decoded) != ntfs::RecordCheck::kRecord) {
        return std::nullopt;
    }
    const ntfs::UsnRecordV2Header header = decoded.Header();
    SimRecord record;
    record.usn = header.Usn;
    record.fileReference = header.FileReferenceNumber;
    record.parentReference = header.ParentFileReferenceNumber;
    record.timeStamp = header.TimeStamp;
    record.reason = header.Reason;
    record.sourceInfo = header.SourceInfo;
    record.securityId = header.SecurityId;
    record.attributes = header.FileAttributes;
    record.majorVersion = header.MajorVersion;
    record.minorVersion = header.MinorVersion;
    record.name.resize(static_cast<std::size_t>(decoded.NameUnits()));
    std::memcpy(record.name.data(), decoded.Name(), record.name.size() * 2);
    return record;
}
