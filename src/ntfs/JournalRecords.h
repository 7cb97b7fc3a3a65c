#pragma once

// The NTFS change-journal records and control codes, defined once and portably (the
// MinGW headers name them differently and lack some). Layouts are fixed by the platform;
// the static_asserts hold them to it. Records are decoded from bytes with bounds checks,
// never by casting an unchecked pointer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace ntfs {

// Control codes (DeviceIoControl).
constexpr std::uint32_t kFsctlEnumUsnData = 0x000900B3;
constexpr std::uint32_t kFsctlReadUsnJournal = 0x000900BB;
constexpr std::uint32_t kFsctlCreateUsnJournal = 0x000900E7;
constexpr std::uint32_t kFsctlQueryUsnJournal = 0x000900F4;
constexpr std::uint32_t kFsctlDeleteUsnJournal = 0x000900F8;

// Win32 errors of the control codes that the engine tells apart (GetLastError).
constexpr std::uint32_t kErrorJournalDeleteInProgress = 1178;
constexpr std::uint32_t kErrorJournalNotActive = 1179;

// Reason bits.
constexpr std::uint32_t kReasonDataOverwrite = 0x00000001;
constexpr std::uint32_t kReasonDataExtend = 0x00000002;
constexpr std::uint32_t kReasonDataTruncation = 0x00000004;
constexpr std::uint32_t kReasonNamedDataOverwrite = 0x00000010;
constexpr std::uint32_t kReasonNamedDataExtend = 0x00000020;
constexpr std::uint32_t kReasonNamedDataTruncation = 0x00000040;
constexpr std::uint32_t kReasonFileCreate = 0x00000100;
constexpr std::uint32_t kReasonFileDelete = 0x00000200;
constexpr std::uint32_t kReasonEaChange = 0x00000400;
constexpr std::uint32_t kReasonSecurityChange = 0x00000800;
constexpr std::uint32_t kReasonRenameOldName = 0x00001000;
constexpr std::uint32_t kReasonRenameNewName = 0x00002000;
constexpr std::uint32_t kReasonIndexableChange = 0x00004000;
constexpr std::uint32_t kReasonBasicInfoChange = 0x00008000;
constexpr std::uint32_t kReasonHardLinkChange = 0x00010000;
constexpr std::uint32_t kReasonCompressionChange = 0x00020000;
constexpr std::uint32_t kReasonEncryptionChange = 0x00040000;
constexpr std::uint32_t kReasonObjectIdChange = 0x00080000;
constexpr std::uint32_t kReasonReparsePointChange = 0x00100000;
constexpr std::uint32_t kReasonStreamChange = 0x00200000;
constexpr std::uint32_t kReasonTransactedChange = 0x00400000;
constexpr std::uint32_t kReasonIntegrityChange = 0x00800000;
constexpr std::uint32_t kReasonClose = 0x80000000;

// Groups that classification tests.
constexpr std::uint32_t kReasonContentGroup = 0x77;
constexpr std::uint32_t kReasonAttributeGroup = 0x90CC00;

// File attributes.
constexpr std::uint32_t kAttributeReadonly = 0x1;
constexpr std::uint32_t kAttributeHidden = 0x2;
constexpr std::uint32_t kAttributeSystem = 0x4;
constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeArchive = 0x20;
constexpr std::uint32_t kAttributeNormal = 0x80;

// GetDriveTypeW answers.
constexpr unsigned kDriveUnknown = 0;
constexpr unsigned kDriveNoRootDir = 1;
constexpr unsigned kDriveRemovable = 2;
constexpr unsigned kDriveFixed = 3;
constexpr unsigned kDriveRemote = 4;
constexpr unsigned kDriveCdrom = 5;
constexpr unsigned kDriveRamdisk = 6;

// The platform hands 64-bit values (FILETIME, file index, file size) in two halves.
constexpr std::uint64_t JoinHalves(std::uint32_t high, std::uint32_t low) {
    return (std::uint64_t{high} << 32) | low;
}

// FILETIME of 1970-01-01 in 100-ns units since 1601-01-01.
constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;
constexpr std::int64_t kFileTimeTicksPerSecond = 10000000LL;

// Number of the record in the master file table (low 48 bits) and its sequence (high 16).
constexpr std::uint64_t MakeFileReference(std::uint64_t record, std::uint16_t sequence) {
    return (static_cast<std::uint64_t>(sequence) << 48) | (record & 0xFFFFFFFFFFFFULL);
}
constexpr std::uint64_t kRootFileReference = MakeFileReference(5, 5);

struct UsnRecordV2Header {
    std::uint32_t RecordLength;
    std::uint16_t MajorVersion;
    std::uint16_t MinorVersion;
    std::uint64_t FileReferenceNumber;
    std::uint64_t ParentFileReferenceNumber;
    std::int64_t Usn;
    std::int64_t TimeStamp;
    std::uint32_t Reason;
    std::uint32_t SourceInfo;
    std::uint32_t SecurityId;
    std::uint32_t FileAttributes;
    std::uint16_t FileNameLength;
    std::uint16_t FileNameOffset;
};
// The platform's record is this header followed by the name (FileName at offset 60).
constexpr std::size_t kUsnRecordV2HeaderSize = 60;
static_assert(offsetof(UsnRecordV2Header, FileReferenceNumber) == 8);
static_assert(offsetof(UsnRecordV2Header, ParentFileReferenceNumber) == 16);
static_assert(offsetof(UsnRecordV2Header, Usn) == 24);
static_assert(offsetof(UsnRecordV2Header, TimeStamp) == 32);
static_assert(offsetof(UsnRecordV2Header, Reason) == 40);
static_assert(offsetof(UsnRecordV2Header, SourceInfo) == 44);
static_assert(offsetof(UsnRecordV2Header, SecurityId) == 48);
static_assert(offsetof(UsnRecordV2Header, FileAttributes) == 52);
static_assert(offsetof(UsnRecordV2Header, FileNameLength) == 56);
static_assert(offsetof(UsnRecordV2Header, FileNameOffset) == 58);
static_assert(sizeof(UsnRecordV2Header) == 64);  // 60 bytes and the tail padding

struct UsnJournalDataV0 {
    std::uint64_t UsnJournalID;
    std::int64_t FirstUsn;
    std::int64_t NextUsn;
    std::int64_t LowestValidUsn;
    std::int64_t MaxUsn;
    std::uint64_t MaximumSize;
    std::uint64_t AllocationDelta;
};
static_assert(sizeof(UsnJournalDataV0) == 56);
static_assert(offsetof(UsnJournalDataV0, NextUsn) == 16);
static_assert(offsetof(UsnJournalDataV0, AllocationDelta) == 48);

struct ReadUsnJournalDataV0 {
    std::int64_t StartUsn;
    std::uint32_t ReasonMask;
    std::uint32_t ReturnOnlyOnClose;
    std::uint64_t Timeout;
    std::uint64_t BytesToWaitFor;
    std::uint64_t UsnJournalID;
};
static_assert(sizeof(ReadUsnJournalDataV0) == 40);
static_assert(offsetof(ReadUsnJournalDataV0, ReasonMask) == 8);
static_assert(offsetof(ReadUsnJournalDataV0, Timeout) == 16);
static_assert(offsetof(ReadUsnJournalDataV0, UsnJournalID) == 32);

struct MftEnumDataV0 {
    std::uint64_t StartFileReferenceNumber;
    std::int64_t LowUsn;
    std::int64_t HighUsn;
};
static_assert(sizeof(MftEnumDataV0) == 24);
static_assert(offsetof(MftEnumDataV0, HighUsn) == 16);

struct CreateUsnJournalData {
    std::uint64_t MaximumSize;
    std::uint64_t AllocationDelta;
};
static_assert(sizeof(CreateUsnJournalData) == 16);

struct DeleteUsnJournalData {
    std::uint64_t UsnJournalID;
    std::uint32_t DeleteFlags;
};
static_assert(sizeof(DeleteUsnJournalData) == 16);
constexpr std::uint32_t kUsnDeleteFlagDelete = 1;
constexpr std::uint32_t kUsnDeleteFlagNotify = 2;

// FILE_NAME_INFORMATION: FileNameLength in bytes, then the name in UTF-16.
constexpr std::size_t kFileNameInformationNameOffset = 4;

// Copies a plain record out of bytes; the caller has checked the size.
template <typename Record>
Record ReadStruct(const std::uint8_t* bytes) {
    Record record;
    std::memcpy(&record, bytes, sizeof(Record));
    return record;
}

// Reads a little-endian 64-bit value, such as the next USN at the front of a batch.
inline std::uint64_t ReadU64(const std::uint8_t* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// One version-2 record in a batch, read field by field from the batch's bytes (which need
// not be aligned); nothing is copied until a field is asked for.
class UsnRecordV2 {
public:
    UsnRecordV2() = default;
    UsnRecordV2(const std::uint8_t* bytes, std::uint32_t length) : bytes_(bytes), length_(length) {}

    const std::uint8_t* Bytes() const { return bytes_; }
    std::uint32_t RecordLength() const { return length_; }
    std::uint16_t MajorVersion() const {
        return Field<std::uint16_t>(offsetof(UsnRecordV2Header, MajorVersion));
    }
    std::uint64_t FileReferenceNumber() const {
        return Field<std::uint64_t>(offsetof(UsnRecordV2Header, FileReferenceNumber));
    }
    std::uint64_t ParentFileReferenceNumber() const {
        return Field<std::uint64_t>(offsetof(UsnRecordV2Header, ParentFileReferenceNumber));
    }
    std::int64_t Usn() const { return Field<std::int64_t>(offsetof(UsnRecordV2Header, Usn)); }
    std::int64_t TimeStamp() const {
        return Field<std::int64_t>(offsetof(UsnRecordV2Header, TimeStamp));
    }
    std::uint32_t Reason() const {
        return Field<std::uint32_t>(offsetof(UsnRecordV2Header, Reason));
    }
    std::uint32_t FileAttributes() const {
        return Field<std::uint32_t>(offsetof(UsnRecordV2Header, FileAttributes));
    }
    std::uint16_t FileNameLength() const {
        return Field<std::uint16_t>(offsetof(UsnRecordV2Header, FileNameLength));
    }
    std::uint16_t FileNameOffset() const {
        return Field<std::uint16_t>(offsetof(UsnRecordV2Header, FileNameOffset));
    }
    // The name: NameUnits() UTF-16 units, maybe unaligned, inside the record once decoded.
    const std::uint8_t* Name() const { return bytes_ + FileNameOffset(); }
    int NameUnits() const { return FileNameLength() / 2; }
    // The name copied out as UTF-16 units: its place in the batch need not be aligned for them.
    void CopyName(std::u16string& name) const {
        name.resize(static_cast<std::size_t>(NameUnits()));
        std::memcpy(name.data(), Name(), name.size() * sizeof(char16_t));
    }
    // Every field at once.
    UsnRecordV2Header Header() const {
        UsnRecordV2Header header{};
        std::memcpy(&header, bytes_, kUsnRecordV2HeaderSize);
        return header;
    }
    // Whether the name lies inside the record, after its header.
    bool NameInside() const {
        // FileNameLength and FileNameOffset side by side: one read for both.
        const auto both = Field<std::uint32_t>(offsetof(UsnRecordV2Header, FileNameLength));
        const std::uint32_t start = both >> 16;
        return start >= kUsnRecordV2HeaderSize && start + (both & 0xFFFF) <= length_;
    }

private:
    template <typename T>
    T Field(std::size_t offset) const {
        T value;
        std::memcpy(&value, bytes_ + offset, sizeof value);
        return value;
    }

    const std::uint8_t* bytes_ = nullptr;
    std::uint32_t length_ = 0;
};

enum class RecordCheck {
    kRecord,  // a valid version-2 record; walk on by RecordLength
    kSkip,    // a whole record of another version or with its name outside: step over it
    kStop,    // the bytes cannot be walked further: abandon the rest of the batch
};

// What makes a record walkable, said once for the engine's walk, the simulated volume and
// the tools. Decodes the record at the start of `bytes`, `remaining` bytes of the batch
// being left, which must be at least a version-2 header's size. A length shorter than that
// header, not a multiple of 8 or longer than what remains stops the walk; a record of
// another major version, or whose name lies outside it, is skipped (`out` still shows it).
inline RecordCheck DecodeWalkable(const std::uint8_t* bytes, std::size_t remaining,
                                  UsnRecordV2& out) {
    std::uint32_t length;
    std::memcpy(&length, bytes, sizeof length);
    // One comparison for both bounds: below the header size the difference wraps around.
    if (length - kUsnRecordV2HeaderSize > remaining - kUsnRecordV2HeaderSize || length % 8 != 0) {
        return RecordCheck::kStop;
    }
    out = UsnRecordV2(bytes, length);
    if (out.MajorVersion() != 2 || !out.NameInside()) {
        return RecordCheck::kSkip;
    }
    return RecordCheck::kRecord;
}

// The same for any `remaining`.
inline RecordCheck DecodeUsnRecordV2(const std::uint8_t* bytes, std::size_t remaining,
                                     UsnRecordV2& out) {
    return remaining < kUsnRecordV2HeaderSize ? RecordCheck::kStop
                                              : DecodeWalkable(bytes, remaining, out);
}

}  // namespace ntfs
