#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/VolumePlatform.h"
#include "sim/SimClock.h"
#include "sim/SimVolume.h"

// The platform of a simulated machine: drive letters (any letter case, as Windows root
// paths take them) mapped to simulated volumes, each with a file-system name and a drive
// type that tests may change, open volume handles, the user's SID and the clock. It
// answers every VolumePlatform call as Windows would, down to the bytes and the error
// codes; LastError gives the Win32 error of the calling thread's last call, as
// GetLastError does. Thread-safe.
class SimPlatform final : public VolumePlatform {
public:
    explicit SimPlatform(std::shared_ptr<SimClock> clock = std::make_shared<SimClock>());
    ~SimPlatform() override;

    SimClock& Clock() const { return *clock_; }
    const std::shared_ptr<SimClock>& SharedClock() const { return clock_; }

    // A new empty NTFS volume (fixed drive) on `letter`, replacing any there; it shares
    // the platform's clock. Without a seed each letter has one of its own.
    SimVolume& AddDrive(char16_t letter, std::uint64_t seed = 0);
    void AttachDrive(char16_t letter, std::shared_ptr<SimVolume> volume);
    // The letter disappears; handles already open on its volume keep working.
    void DetachDrive(char16_t letter);
    // The volume on `letter`, or null.
    std::shared_ptr<SimVolume> Drive(char16_t letter) const;

    // What GetVolumeInformationW names the file system of a drive ("NTFS" at first);
    // nothing makes the call fail.
    void SetFileSystemName(char16_t letter, std::optional<std::u16string> name);
    // What GetDriveTypeW answers for a drive (DRIVE_FIXED at first).
    void SetDriveType(char16_t letter, unsigned type);
    // Every later OpenVolume fails with `error` (ERROR_ACCESS_DENIED: no administrator
    // rights); 0 lets them succeed again.
    void FailVolumeOpens(std::uint32_t error);
    void SetHasOpenByIdCalls(bool present);
    // An empty text makes GetUserSidText fail.
    void SetUserSidText(std::u16string sid);

    std::size_t OpenVolumeCount() const;

    bool GetFileSystemName(const CWString& rootPath, CWString& name) override;
    // The serial number of the volume on the drive.
    bool GetVolumeSerialNumber(const CWString& rootPath, std::uint32_t& serial) override;
    unsigned QueryDriveType(const CWString& rootPath) override;
    PlatformHandle OpenVolume(const CWString& devicePath) override;
    void CloseVolume(PlatformHandle volume) override;
    bool DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t& returned) override;
    // The error of the calling thread's last call of this platform (0 after a success),
    // as GetLastError keeps one per thread.
    std::uint32_t LastError() const override;
    bool HasOpenByIdCalls() override;
    std::int32_t QueryNameById(PlatformHandle volume, std::uint32_t desiredAccess,
                               std::uint64_t fileId, void* buffer, std::uint32_t size) override;
    std::uint64_t GetFileId(const CWString& path) override;
    bool IsDirectory(const CWString& path) override;
    CWString GetUserSidText() override;
    std::int64_t CurrentUnixSeconds() override;

private:
    struct DriveState {
        std::shared_ptr<SimVolume> volume;
        std::optional<std::u16string> fileSystem{u"NTFS"};
        unsigned type = ntfs::kDriveFixed;
    };

    // The drive a path starting "X:\" (or "X:/") lies on, and the rest of the path.
    std::shared_ptr<SimVolume> VolumeOfPath(std::u16string_view path,
                                            std::u16string_view& rest) const;
    std::shared_ptr<SimVolume> VolumeOfHandle(PlatformHandle handle) const;
    const DriveState* FindDrive(char16_t letter) const;
    void SetLastError(std::uint32_t error);
    DriveState& DriveEntry(char16_t letter);

    const std::shared_ptr<SimClock> clock_;
    mutable std::mutex mutex_;
    std::map<char16_t, DriveState> drives_;
    std::map<PlatformHandle, std::shared_ptr<SimVolume>> handles_;
    // Taken after `mutex_` when both are held.
    mutable std::mutex errorMutex_;
    std::map<std::thread::id, std::uint32_t> lastErrors_;
    PlatformHandle nextHandle_ = 0x100;
    std::uint32_t openError_ = 0;
    bool hasOpenByIdCalls_ = true;
    std::u16string userSid_{SimVolume::kDefaultUserSid};
};
