#include "engine/win32/Win32VolumePlatform.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/win32/FileSystemRedirectionOff.h"
#include "engine/win32/VolumeHandles.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/WideText.h"
#include "runtime/win32/ScopedResource.h"

namespace {

VolumeHandles* ToVolume(PlatformHandle handle) {
    return handle == kInvalidPlatformHandle ? nullptr : reinterpret_cast<VolumeHandles*>(handle);
}

// The native call's records, as ntdll takes them.
struct CountedName {
    USHORT Length;
    USHORT MaximumLength;
    void* Buffer;
};
struct ObjectAttributes {
    ULONG Length;
    HANDLE RootDirectory;
    CountedName* ObjectName;
    ULONG Attributes;
    void* SecurityDescriptor;
    void* SecurityQualityOfService;
};
struct IoStatus {
    union {
        LONG Status;
        void* Pointer;
    };
    ULONG_PTR Information;
};
static_assert(sizeof(ObjectAttributes) == 6 * sizeof(void*));

constexpr ULONG kObjCaseInsensitive = 0x40;
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileOpenByFileId = 0x2000;
constexpr int kFileNameInformationClass = 9;
constexpr LONG kStatusInvalidHandle = static_cast<LONG>(0xC0000008u);

}  // namespace

Win32VolumePlatform::Win32VolumePlatform() {
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll"); ntdll != nullptr) {
        ntQueryInformationFile = reinterpret_cast<NtQueryInformationFileCall>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")));
        ntCreateFile = reinterpret_cast<NtCreateFileCall>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
    }
}

bool Win32VolumePlatform::QueryVolumeInformation(const CWString& rootPath,
                                                 VolumeInformation& information) {
    wchar_t fileSystem[261] = {};
    DWORD serialNumber = 0;
    if (!GetVolumeInformationW(Wide(rootPath), nullptr, 0, &serialNumber, nullptr, nullptr,
                               fileSystem, 260)) {
        return false;
    }
    information.fileSystem = CWString(Utf16(fileSystem));
    information.serialNumber = serialNumber;
    return true;
}

unsigned Win32VolumePlatform::QueryDriveType(const CWString& rootPath) {
    return GetDriveTypeW(Wide(rootPath));
}

PlatformHandle Win32VolumePlatform::OpenVolume(const CWString& devicePath) {
    auto volume = std::make_unique<VolumeHandles>();
    volume->device.Reset(CreateFileW(Wide(devicePath), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_READONLY, nullptr));
    if (!volume->device.Valid()) {
        return kInvalidPlatformHandle;
    }
    if (HasOpenByIdCalls()) {
        ChooseOpenByIdBase(*volume, devicePath);
    }
    return reinterpret_cast<PlatformHandle>(volume.release());
}

void Win32VolumePlatform::ChooseOpenByIdBase(VolumeHandles& volume, const CWString& devicePath) {
    // "\\.\X:\" is the volume's root directory; its own id resolves wherever opens by id work.
    CWString rootPath = devicePath;
    rootPath.AppendChar(u'\\');
    ScopedHandle root(CreateFileW(Wide(rootPath), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!root.Valid() || !GetFileInformationByHandle(root.Get(), &info)) {
        return;  // names will not resolve; the device's handle is as good as any
    }
    const std::uint64_t rootId = ntfs::JoinHalves(info.nFileIndexHigh, info.nFileIndexLow);
    alignas(8) std::uint8_t name[64];
    if (QueryNameRelativeTo(volume.device.Get(), file_access::kReadAttributes, rootId, name,
                            sizeof name) == 0) {
        return;
    }
    if (QueryNameRelativeTo(root.Get(), file_access::kReadAttributes, rootId, name, sizeof name) ==
        0) {
        volume.rootDirectory = std::move(root);
    }
}

void Win32VolumePlatform::CloseVolume(PlatformHandle volume) {
    delete ToVolume(volume);
}

bool Win32VolumePlatform::DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                                          std::uint32_t inSize, void* out, std::uint32_t outSize,
                                          std::uint32_t& returned) {
    returned = 0;
    const VolumeHandles* handles = ToVolume(volume);
    if (handles == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD bytes = 0;
    const BOOL ok = ::DeviceIoControl(handles->device.Get(), code, const_cast<void*>(in), inSize,
                                      out, outSize, &bytes, nullptr);
    returned = bytes;
    return ok != FALSE;
}

std::uint32_t Win32VolumePlatform::LastError() const {
    return GetLastError();
}

bool Win32VolumePlatform::HasOpenByIdCalls() {
    return ntCreateFile != nullptr && ntQueryInformationFile != nullptr;
}

std::int32_t Win32VolumePlatform::QueryNameById(PlatformHandle volume, std::uint32_t desiredAccess,
                                                std::uint64_t fileId, void* buffer,
                                                std::uint32_t size) {
    const VolumeHandles* handles = ToVolume(volume);
    if (handles == nullptr || !HasOpenByIdCalls()) {
        return kStatusInvalidHandle;
    }
    return QueryNameRelativeTo(handles->OpenByIdBase(), desiredAccess, fileId, buffer, size);
}

std::int32_t Win32VolumePlatform::QueryNameRelativeTo(void* base, std::uint32_t desiredAccess,
                                                      std::uint64_t fileId, void* buffer,
                                                      std::uint32_t size) {
    CountedName name{8, 8, &fileId};
    ObjectAttributes attributes{sizeof(ObjectAttributes), base,    &name,
                                kObjCaseInsensitive,      nullptr, nullptr};
    IoStatus ioStatus{};
    void* opened = nullptr;
    const LONG openStatus =
        ntCreateFile(&opened, desiredAccess, &attributes, &ioStatus, nullptr, FILE_ATTRIBUTE_NORMAL,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, kFileOpen, kFileOpenByFileId, nullptr, 0);
    if (openStatus != 0) {
        return openStatus;
    }
    const ScopedHandle directory(opened);
    return ntQueryInformationFile(directory.Get(), &ioStatus, buffer, size,
                                  kFileNameInformationClass);
}

CWString Win32VolumePlatform::FullPathName(const CWString& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(Wide(path), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            return {};
        }
        if (length < full.size()) {
            return CWString(Utf16String(std::wstring_view(full).substr(0, length)));
        }
        full.resize(length);  // the size asked for, NUL included
    }
}

bool Win32VolumePlatform::IdentifyFile(const CWString& path, FileIdentity& identity) {
    ScopedHandle file;
    {
        const FileSystemRedirectionOff unredirected;
        file.Reset(CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || !GetFileInformationByHandle(file.Get(), &info)) {
        return false;
    }
    identity.volumeSerial = info.dwVolumeSerialNumber;
    identity.fileId = ntfs::JoinHalves(info.nFileIndexHigh, info.nFileIndexLow);
    identity.attributes = info.dwFileAttributes;
    identity.finalPath = FinalPathOf(file.Get(), path);
    SetLastError(ERROR_SUCCESS);
    return true;
}

CWString Win32VolumePlatform::FinalPathOf(void* file, const CWString& openedPath) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            // Wine names no path longer than a buffer of its own and says ERROR_MORE_DATA,
            // which Windows never does; then the path opened stands, and the volume's serial
            // number still tells whether links led elsewhere. Otherwise: a volume without a
            // drive letter.
            return GetLastError() == ERROR_MORE_DATA ? openedPath : CWString();
        }
        if (length < path.size()) {
            return CWString(Utf16String(std::wstring_view(path).substr(0, length)));
        }
        path.resize(length);  // the size asked for, NUL included
    }
}
