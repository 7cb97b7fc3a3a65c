#pragma once

#include <cstdint>

#include "runtime/text/CWString.h"

// The platform calls the engine makes, and nothing more: the Win32 backend translates
// each to the system call of the same name; the simulated NTFS volume answers them from
// its in-memory model with the same bytes and results.
using PlatformHandle = std::intptr_t;
constexpr PlatformHandle kInvalidPlatformHandle = -1;  // INVALID_HANDLE_VALUE

// Access rights an open asks for (the platform's values).
namespace file_access {
constexpr std::uint32_t kListDirectory = 0x0001;   // FILE_LIST_DIRECTORY, FILE_READ_DATA
constexpr std::uint32_t kReadAttributes = 0x0080;  // FILE_READ_ATTRIBUTES
constexpr std::uint32_t kGenericRead = 0x80000000;
}  // namespace file_access

class VolumePlatform {
public:
    virtual ~VolumePlatform() = default;

    // GetVolumeInformationW(rootPath) for the file-system name only. False when the call
    // fails; `name` is then unchanged.
    virtual bool GetFileSystemName(const CWString& rootPath, CWString& name) = 0;

    // GetVolumeInformationW(rootPath) for the volume's serial number only: it tells one
    // volume from another that later takes its letter. False when the call fails.
    virtual bool GetVolumeSerialNumber(const CWString& rootPath, std::uint32_t& serial) = 0;

    // GetDriveTypeW(rootPath) (named apart from the windows.h macro).
    virtual unsigned QueryDriveType(const CWString& rootPath) = 0;

    // CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ |
    // FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_READONLY) on "\\.\X:".
    // kInvalidPlatformHandle on failure.
    virtual PlatformHandle OpenVolume(const CWString& devicePath) = 0;

    // CloseHandle of a handle from OpenVolume.
    virtual void CloseVolume(PlatformHandle volume) = 0;

    // DeviceIoControl(volume, code, in, inSize, out, outSize, &returned, no OVERLAPPED).
    // After a failure LastError tells why.
    virtual bool DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                                 std::uint32_t inSize, void* out, std::uint32_t outSize,
                                 std::uint32_t& returned) = 0;

    // GetLastError: the Win32 error of the calling thread's last failed call of this
    // platform. Asked right after the call, with no other call in between.
    virtual std::uint32_t LastError() const = 0;

    // Whether NtCreateFile and NtQueryInformationFile were found in ntdll.dll.
    virtual bool HasOpenByIdCalls() = 0;

    // NtCreateFile(desiredAccess, RootDirectory = a handle on the volume, ObjectName = the
    // 8 bytes of fileId, OBJ_CASE_INSENSITIVE, FILE_ATTRIBUTE_NORMAL, share read|write,
    // FILE_OPEN, FILE_OPEN_BY_FILE_ID), then NtQueryInformationFile(FileNameInformation)
    // into `buffer` of `size` bytes, then close. Answers the NTSTATUS of the open when it
    // fails, else that of the query (0 = success).
    virtual std::int32_t QueryNameById(PlatformHandle volume, std::uint32_t desiredAccess,
                                       std::uint64_t fileId, void* buffer, std::uint32_t size) = 0;

    // CreateFileW(path, 0, share read|write, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS) and
    // GetFileInformationByHandle: nFileIndexHigh << 32 | nFileIndexLow, 0 on failure.
    virtual std::uint64_t GetFileId(const CWString& path) = 0;

    // Whether the path names an existing directory (GetFileAttributesW).
    virtual bool IsDirectory(const CWString& path) = 0;

    // The current user's SID in its string form (S-1-…), empty on failure.
    virtual CWString GetUserSidText() = 0;

    // The calendar clock: seconds since 1970-01-01 UTC (time()).
    virtual std::int64_t CurrentUnixSeconds() = 0;
};
