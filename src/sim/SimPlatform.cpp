#include "sim/SimPlatform.h"

#include "runtime/text/AsciiCase.h"
#include "sim/SimNames.h"

namespace {

char16_t DriveKey(char16_t letter) {
    return sim_names::Upcase(letter);
}

// "X:\" exactly, as GetVolumeInformationW and GetDriveTypeW take a root.
bool ParseRoot(std::u16string_view root, char16_t& letter) {
    if (root.size() != 3 || !IsAsciiLetter(root[0]) || root[1] != u':' ||
        (root[2] != u'\\' && root[2] != u'/')) {
        return false;
    }
    letter = DriveKey(root[0]);
    return true;
}

// "\\.\X:", the device path of a volume.
bool ParseDevicePath(std::u16string_view path, char16_t& letter) {
    if (path.size() != 6 || path.substr(0, 4) != u"\\\\.\\" || !IsAsciiLetter(path[4]) ||
        path[5] != u':') {
        return false;
    }
    letter = DriveKey(path[4]);
    return true;
}

}  // namespace

SimPlatform::SimPlatform(std::shared_ptr<SimClock> clock)
    : clock_(clock ? std::move(clock) : std::make_shared<SimClock>()) {}

SimPlatform::~SimPlatform() = default;

SimVolume& SimPlatform::AddDrive(char16_t letter, std::uint64_t seed) {
    auto volume = std::make_shared<SimVolume>(clock_, seed != 0 ? seed : DriveKey(letter));
    SimVolume& added = *volume;
    AttachDrive(letter, std::move(volume));
    return added;
}

void SimPlatform::AttachDrive(char16_t letter, std::shared_ptr<SimVolume> volume) {
    const std::lock_guard lock(mutex_);
    DriveEntry(letter) = DriveState{std::move(volume)};
}

void SimPlatform::DetachDrive(char16_t letter) {
    const std::lock_guard lock(mutex_);
    drives_.erase(DriveKey(letter));
}

std::shared_ptr<SimVolume> SimPlatform::Drive(char16_t letter) const {
    const std::lock_guard lock(mutex_);
    const auto* drive = FindDrive(letter);
    return drive != nullptr ? drive->volume : nullptr;
}

void SimPlatform::SetFileSystemName(char16_t letter, std::optional<std::u16string> name) {
    const std::lock_guard lock(mutex_);
    DriveEntry(letter).fileSystem = std::move(name);
}

void SimPlatform::SetDriveType(char16_t letter, unsigned type) {
    const std::lock_guard lock(mutex_);
    DriveEntry(letter).type = type;
}

void SimPlatform::FailVolumeOpens(std::uint32_t error) {
    const std::lock_guard lock(mutex_);
    openError_ = error;
}

void SimPlatform::SetHasOpenByIdCalls(bool present) {
    const std::lock_guard lock(mutex_);
    hasOpenByIdCalls_ = present;
}

void SimPlatform::SetUserSidText(std::u16string sid) {
    const std::lock_guard lock(mutex_);
    userSid_ = std::move(sid);
}

std::uint32_t SimPlatform::LastError() const {
    const std::lock_guard lock(errorMutex_);
    const auto it = lastErrors_.find(std::this_thread::get_id());
    return it == lastErrors_.end() ? 0 : it->second;
}

void SimPlatform::SetLastError(std::uint32_t error) {
    const std::lock_guard lock(errorMutex_);
    lastErrors_[std::this_thread::get_id()] = error;
}

std::size_t SimPlatform::OpenVolumeCount() const {
    const std::lock_guard lock(mutex_);
    return handles_.size();
}

bool SimPlatform::GetFileSystemName(const CWString& rootPath, CWString& name) {
    char16_t letter = 0;
    std::optional<std::u16string> fileSystem;
    std::shared_ptr<SimVolume> volume;
    {
        const std::lock_guard lock(mutex_);
        const DriveState* drive = ParseRoot(rootPath.View(), letter) ? FindDrive(letter) : nullptr;
        if (drive == nullptr) {
            SetLastError(win32::kErrorPathNotFound);
            return false;
        }
        fileSystem = drive->fileSystem;
        volume = drive->volume;
    }
    if (volume == nullptr || volume->IsRemoved()) {
        SetLastError(win32::kErrorNotReady);
        return false;
    }
    if (!fileSystem) {
        SetLastError(win32::kErrorInvalidFunction);
        return false;
    }
    name = CWString(*fileSystem);
    SetLastError(win32::kErrorSuccess);
    return true;
}

bool SimPlatform::GetVolumeSerialNumber(const CWString& rootPath, std::uint32_t& serial) {
    char16_t letter = 0;
    std::shared_ptr<SimVolume> volume;
    {
        const std::lock_guard lock(mutex_);
        const DriveState* drive = ParseRoot(rootPath.View(), letter) ? FindDrive(letter) : nullptr;
        volume = drive != nullptr ? drive->volume : nullptr;
    }
    if (volume == nullptr || volume->IsRemoved()) {
        SetLastError(volume == nullptr ? win32::kErrorPathNotFound : win32::kErrorNotReady);
        return false;
    }
    serial = volume->SerialNumber();
    SetLastError(win32::kErrorSuccess);
    return true;
}

unsigned SimPlatform::QueryDriveType(const CWString& rootPath) {
    char16_t letter = 0;
    unsigned type = ntfs::kDriveNoRootDir;
    std::shared_ptr<SimVolume> volume;
    {
        const std::lock_guard lock(mutex_);
        const DriveState* drive = ParseRoot(rootPath.View(), letter) ? FindDrive(letter) : nullptr;
        if (drive == nullptr) {
            return ntfs::kDriveNoRootDir;
        }
        type = drive->type;
        volume = drive->volume;
    }
    return volume == nullptr || volume->IsRemoved() ? ntfs::kDriveNoRootDir : type;
}

PlatformHandle SimPlatform::OpenVolume(const CWString& devicePath) {
    char16_t letter = 0;
    const std::lock_guard lock(mutex_);
    const DriveState* drive =
        ParseDevicePath(devicePath.View(), letter) ? FindDrive(letter) : nullptr;
    if (drive == nullptr || drive->volume == nullptr || drive->volume->IsRemoved()) {
        SetLastError(win32::kErrorFileNotFound);
        return kInvalidPlatformHandle;
    }
    if (openError_ != 0) {
        SetLastError(openError_);
        return kInvalidPlatformHandle;
    }
    const PlatformHandle handle = nextHandle_;
    nextHandle_ += 4;  // handle values are multiples of four
    handles_.emplace(handle, drive->volume);
    SetLastError(win32::kErrorSuccess);
    return handle;
}

void SimPlatform::CloseVolume(PlatformHandle volume) {
    const std::lock_guard lock(mutex_);
    SetLastError(handles_.erase(volume) != 0 ? win32::kErrorSuccess : win32::kErrorInvalidHandle);
}

bool SimPlatform::DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                                  std::uint32_t inSize, void* out, std::uint32_t outSize,
                                  std::uint32_t& returned) {
    returned = 0;
    const std::shared_ptr<SimVolume> target = VolumeOfHandle(volume);
    if (target == nullptr) {
        SetLastError(win32::kErrorInvalidHandle);
        return false;
    }
    std::uint32_t error = 0;
    const bool ok = target->DeviceIoControl(code, in, inSize, out, outSize, returned, error);
    SetLastError(error);
    return ok;
}

bool SimPlatform::HasOpenByIdCalls() {
    const std::lock_guard lock(mutex_);
    return hasOpenByIdCalls_;
}

std::int32_t SimPlatform::QueryNameById(PlatformHandle volume, std::uint32_t desiredAccess,
                                        std::uint64_t fileId, void* buffer, std::uint32_t size) {
    const std::shared_ptr<SimVolume> target = VolumeOfHandle(volume);
    if (target == nullptr) {
        return win32::kStatusInvalidHandle;
    }
    return target->QueryNameById(fileId, buffer, size, desiredAccess);
}

std::uint64_t SimPlatform::GetFileId(const CWString& path) {
    std::u16string_view rest;
    const std::shared_ptr<SimVolume> volume = VolumeOfPath(path.View(), rest);
    const std::uint64_t id = volume != nullptr ? volume->Lookup(rest) : 0;
    SetLastError(id != 0 ? win32::kErrorSuccess : win32::kErrorFileNotFound);
    return id;
}

bool SimPlatform::IsDirectory(const CWString& path) {
    std::u16string_view rest;
    const std::shared_ptr<SimVolume> volume = VolumeOfPath(path.View(), rest);
    const std::uint64_t id = volume != nullptr ? volume->Lookup(rest) : 0;
    const auto info = id != 0 ? volume->Info(id) : std::nullopt;
    return info && (info->attributes & ntfs::kAttributeDirectory) != 0;
}

CWString SimPlatform::GetUserSidText() {
    const std::lock_guard lock(mutex_);
    return CWString(userSid_);
}

std::int64_t SimPlatform::CurrentUnixSeconds() {
    return clock_->UnixSeconds();
}

std::shared_ptr<SimVolume> SimPlatform::VolumeOfPath(std::u16string_view path,
                                                     std::u16string_view& rest) const {
    char16_t letter = 0;
    if (path.size() < 3 || !ParseRoot(path.substr(0, 3), letter)) {
        return nullptr;
    }
    rest = path.substr(3);
    const std::shared_ptr<SimVolume> volume = Drive(letter);
    return volume != nullptr && !volume->IsRemoved() ? volume : nullptr;
}

std::shared_ptr<SimVolume> SimPlatform::VolumeOfHandle(PlatformHandle handle) const {
    const std::lock_guard lock(mutex_);
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

const SimPlatform::DriveState* SimPlatform::FindDrive(char16_t letter) const {
    const auto it = drives_.find(DriveKey(letter));
    return it == drives_.end() ? nullptr : &it->second;
}

SimPlatform::DriveState& SimPlatform::DriveEntry(char16_t letter) {
    return drives_[DriveKey(letter)];
}
