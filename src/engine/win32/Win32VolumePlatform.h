#pragma once

#include "engine/VolumePlatform.h"

struct VolumeHandles;

// The real volume backend: each call is the Win32 or native call of the same name. The
// logic lives above the seam, where it is tested, but for two things only the platform can
// answer, which its tests under Wine show: which handle an open by id may be relative to
// (found once per opened volume), and that paths are not redirected for a 32-bit process
// on 64-bit Windows. A PlatformHandle stands for a VolumeHandles.
class Win32VolumePlatform final : public VolumePlatform {
public:
    Win32VolumePlatform();

    bool QueryVolumeInformation(const CWString& rootPath, VolumeInformation& information) override;
    unsigned QueryDriveType(const CWString& rootPath) override;
    PlatformHandle OpenVolume(const CWString& devicePath) override;
    void CloseVolume(PlatformHandle volume) override;
    bool DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t& returned) override;
    std::uint32_t LastError() const override;
    bool HasOpenByIdCalls() override;
    std::int32_t QueryNameById(PlatformHandle volume, std::uint32_t desiredAccess,
                               std::uint64_t fileId, void* buffer, std::uint32_t size) override;
    CWString FullPathName(const CWString& path) override;
    bool IdentifyFile(const CWString& path, FileIdentity& identity) override;

private:
    void ChooseOpenByIdBase(VolumeHandles& volume, const CWString& devicePath);
    // GetFinalPathNameByHandleW(VOLUME_NAME_DOS) of an open handle, whatever its length;
    // empty when the call fails (openedPath where Wine cannot name a long path).
    static CWString FinalPathOf(void* file, const CWString& openedPath);
    std::int32_t QueryNameRelativeTo(void* base, std::uint32_t desiredAccess, std::uint64_t fileId,
                                     void* buffer, std::uint32_t size);

    using NtCreateFileCall = long(__stdcall*)(void** handle, unsigned long access, void* attributes,
                                              void* ioStatus, void* allocationSize,
                                              unsigned long fileAttributes, unsigned long share,
                                              unsigned long disposition, unsigned long options,
                                              void* eaBuffer, unsigned long eaLength);
    using NtQueryInformationFileCall = long(__stdcall*)(void* handle, void* ioStatus, void* buffer,
                                                        unsigned long length, int infoClass);

    NtCreateFileCall ntCreateFile = nullptr;
    NtQueryInformationFileCall ntQueryInformationFile = nullptr;
};
