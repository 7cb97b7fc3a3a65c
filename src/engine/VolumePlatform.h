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

// What GetVolumeInformationW tells of a volume.
struct VolumeInformation {
    CWString fileSystem;  // "NTFS", "FAT32", ...
    std::uint32_t serialNumber = 0;
};

// What an opened file or directory tells of itself, wherever links led the open.
struct FileIdentity {
    // GetFinalPathNameByHandleW(VOLUME_NAME_DOS): "\\?\D:\x" as the system names it; empty
    // when the call fails, as it does for a volume without a drive letter.
    CWString finalPath;
    std::uint32_t volumeSerial = 0;  // dwVolumeSerialNumber
    std::uint64_t fileId = 0;        // nFileIndexHigh << 32 | nFileIndexLow
    std::uint32_t attributes = 0;    // dwFileAttributes
};

class VolumePlatform {
public:
    virtual ~VolumePlatform() = default;

    // GetVolumeInformationW(rootPath): the file-system name and the serial number. False
    // when the call fails; `information` is then unchanged.
    virtual bool QueryVolumeInformation(const CWString& rootPath,
                                        VolumeInformation& information) = 0;

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

    // GetFullPathNameW: the path as Windows resolves it, without asking the file system:
    // relative to the current directory ("C:data" to the current directory of drive C),
    // "/" read as a backslash, "." and ".." resolved, a trailing separator kept, the trailing dots
    // and spaces of the last name dropped. Empty on failure.
    virtual CWString FullPathName(const CWString& path) = 0;

    // CreateFileW(path, 0, share read|write, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS),
    // which follows junctions, symbolic links, mounted folders and subst drives to the
    // final file; GetFileInformationByHandle and GetFinalPathNameByHandleW of it. False
    // when it cannot be opened or read, LastError telling why.
    virtual bool IdentifyFile(const CWString& path, FileIdentity& identity) = 0;
};
