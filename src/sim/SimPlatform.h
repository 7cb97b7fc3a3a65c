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
// type that tests may change, or to a folder (subst drives); the process's current
// directory; junctions, symbolic links and folders where another volume is mounted; open
// volume handles, the user's SID and the clock. It answers every VolumePlatform call as
// Windows would, down to the bytes and the error codes, and where Windows is hard on a
// caller so is this: a path of MAX_PATH units or more opens only in its "\\?\" form, which
// is taken literally; a volume that has no drive letter is named by the folder it is
// mounted in. LastError gives the Win32 error of the calling thread's last call, as
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
    // `subst letter: target`: the letter stands for the folder `target` (a full path); its
    // type and volume information are those of the target's drive; it is no volume device.
    void AddSubstDrive(char16_t letter, std::u16string target);
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

    // The process's current directory, a full path (C:\ at first): relative paths start
    // there, "X:name" there when it lies on X and at the root of X otherwise.
    void SetCurrentDirectory(std::u16string path);
    // The existing directory at `path` becomes a junction or a directory symbolic link to
    // `target`: a full path, or (a symbolic link's) one relative to the link's folder. False
    // when `path` is no directory.
    bool AddLink(std::u16string_view path, std::u16string target);
    // `volume` is mounted in the existing directory at `path` (with or without a letter).
    bool MountVolume(std::u16string_view path, std::shared_ptr<SimVolume> volume);

    std::size_t OpenVolumeCount() const;

    bool QueryVolumeInformation(const CWString& rootPath, VolumeInformation& information) override;
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
    CWString FullPathName(const CWString& path) override;
    bool IdentifyFile(const CWString& path, FileIdentity& identity) override;

private:
    struct DriveState {
        std::shared_ptr<SimVolume> volume;
        std::optional<std::u16string> fileSystem{u"NTFS"};
        unsigned type = ntfs::kDriveFixed;
        std::u16string substTarget;  // a subst drive's folder; it has no volume
    };
    // A directory that sends an open elsewhere: to a path, or to the root of a volume.
    struct ReparsePoint {
        std::shared_ptr<SimVolume> host;  // keeps the volume of the key alive
        std::u16string target;
        std::shared_ptr<SimVolume> mounted;
    };
    using ReparseKey = std::pair<const SimVolume*, std::uint64_t>;
    struct Located {
        std::shared_ptr<SimVolume> volume;
        std::uint64_t id = 0;
    };

    // Where an open of `path` arrives, following subst drives and reparse points as
    // Windows does; 0, or the Win32 error of the open. Called with `mutex_` held.
    std::uint32_t Locate(std::u16string_view path, Located& found) const;
    // "\\?\X:\..." as GetFinalPathNameByHandleW(VOLUME_NAME_DOS) names a file; empty when
    // its volume is reachable by no letter. Called with `mutex_` held.
    std::u16string FinalPathOf(const Located& file) const;
    // "X:", or the path of a folder the volume is mounted in; empty when neither exists.
    std::u16string DosNameOf(const SimVolume* volume) const;
    bool AddReparsePoint(std::u16string_view path, ReparsePoint point);
    std::shared_ptr<SimVolume> VolumeOfHandle(PlatformHandle handle) const;
    const DriveState* FindDrive(char16_t letter) const;
    // The drive a letter stands for, through a subst drive to the drive of its folder.
    const DriveState* DriveBehind(char16_t letter) const;
    void SetLastError(std::uint32_t error);
    DriveState& DriveEntry(char16_t letter);

    const std::shared_ptr<SimClock> clock_;
    mutable std::mutex mutex_;
    std::map<char16_t, DriveState> drives_;
    std::map<ReparseKey, ReparsePoint> reparsePoints_;
    std::u16string currentDirectory_{u"C:\\"};
    std::map<PlatformHandle, std::shared_ptr<SimVolume>> handles_;
    // Taken after `mutex_` when both are held.
    mutable std::mutex errorMutex_;
    std::map<std::thread::id, std::uint32_t> lastErrors_;
    PlatformHandle nextHandle_ = 0x100;
    std::uint32_t openError_ = 0;
    bool hasOpenByIdCalls_ = true;
};
