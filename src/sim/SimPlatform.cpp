#include "sim/SimPlatform.h"

#include <vector>

#include "runtime/text/AsciiCase.h"
#include "sim/SimNames.h"
#include "sim/SimPathNames.h"

namespace {

constexpr std::u16string_view kLongPathPrefix = u"\\\\?\\";
// MAX_PATH: a longer path opens only in its "\\?\" form.
constexpr std::size_t kMaxPath = 260;
// Windows gives up after this many reparse points in one open.
constexpr int kMaxReparses = 63;

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

// `base` and a path below it, one separator between.
std::u16string Below(std::u16string_view base, std::u16string_view rest) {
    std::u16string path(base);
    if (rest.empty()) {
        return path;
    }
    if (path.empty() || path.back() != u'\\') {
        path += u'\\';
    }
    return path.append(rest);
}

// The names of a path below its "X:\", empty ones too: "\\?\" paths are taken literally.
std::vector<std::u16string_view> NamesOf(std::u16string_view path) {
    std::vector<std::u16string_view> names;
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find(u'\\', start);
        names.push_back(path.substr(start, end - start));
        if (end == std::u16string_view::npos) {
            return names;
        }
        start = end + 1;
    }
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
    DriveState& drive = DriveEntry(letter);
    drive = DriveState{};
    drive.volume = std::move(volume);
}

void SimPlatform::DetachDrive(char16_t letter) {
    const std::lock_guard lock(mutex_);
    drives_.erase(DriveKey(letter));
}

void SimPlatform::AddSubstDrive(char16_t letter, std::u16string target) {
    const std::lock_guard lock(mutex_);
    DriveState& drive = DriveEntry(letter);
    drive = DriveState{};
    drive.substTarget = std::move(target);
}

void SimPlatform::SetCurrentDirectory(std::u16string path) {
    const std::lock_guard lock(mutex_);
    currentDirectory_ = std::move(path);
}

bool SimPlatform::AddLink(std::u16string_view path, std::u16string target) {
    return AddReparsePoint(path, ReparsePoint{nullptr, std::move(target), nullptr});
}

bool SimPlatform::MountVolume(std::u16string_view path, std::shared_ptr<SimVolume> volume) {
    return volume != nullptr && AddReparsePoint(path, ReparsePoint{nullptr, {}, std::move(volume)});
}

bool SimPlatform::AddReparsePoint(std::u16string_view path, ReparsePoint point) {
    const std::lock_guard lock(mutex_);
    Located directory;
    if (Locate(path, directory) != win32::kErrorSuccess) {
        return false;
    }
    const auto info = directory.volume->Info(directory.id);
    if (!info || (info->attributes & ntfs::kAttributeDirectory) == 0) {
        return false;
    }
    point.host = directory.volume;
    reparsePoints_[{directory.volume.get(), directory.id}] = std::move(point);
    return true;
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

bool SimPlatform::QueryVolumeInformation(const CWString& rootPath, VolumeInformation& information) {
    char16_t letter = 0;
    std::optional<std::u16string> fileSystem;
    std::shared_ptr<SimVolume> volume;
    {
        const std::lock_guard lock(mutex_);
        const DriveState* drive =
            ParseRoot(rootPath.View(), letter) ? DriveBehind(letter) : nullptr;
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
    information.fileSystem = CWString(*fileSystem);
    information.serialNumber = volume->SerialNumber();
    SetLastError(win32::kErrorSuccess);
    return true;
}

unsigned SimPlatform::QueryDriveType(const CWString& rootPath) {
    char16_t letter = 0;
    unsigned type = ntfs::kDriveNoRootDir;
    std::shared_ptr<SimVolume> volume;
    {
        const std::lock_guard lock(mutex_);
        const DriveState* drive =
            ParseRoot(rootPath.View(), letter) ? DriveBehind(letter) : nullptr;
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
        // A subst drive's letter names a folder, not a volume device.
        SetLastError(drive != nullptr && !drive->substTarget.empty() ? win32::kErrorInvalidFunction
                                                                     : win32::kErrorFileNotFound);
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

CWString SimPlatform::FullPathName(const CWString& path) {
    const std::lock_guard lock(mutex_);
    const std::u16string full = sim_paths::FullPathName(path.View(), currentDirectory_);
    SetLastError(full.empty() ? win32::kErrorInvalidName : win32::kErrorSuccess);
    return CWString(full);
}

bool SimPlatform::IdentifyFile(const CWString& path, FileIdentity& identity) {
    Located file;
    std::u16string finalPath;
    {
        const std::lock_guard lock(mutex_);
        if (const std::uint32_t error = Locate(path.View(), file); error != win32::kErrorSuccess) {
            SetLastError(error);
            return false;
        }
        finalPath = FinalPathOf(file);
    }
    const auto info = file.volume->Info(file.id);
    if (!info) {
        SetLastError(win32::kErrorFileNotFound);
        return false;
    }
    identity.finalPath = CWString(finalPath);
    identity.volumeSerial = file.volume->SerialNumber();
    identity.fileId = file.id;
    identity.attributes = info->attributes;
    SetLastError(win32::kErrorSuccess);
    return true;
}

std::uint32_t SimPlatform::Locate(std::u16string_view path, Located& found) const {
    std::u16string text;
    if (path.starts_with(kLongPathPrefix)) {
        text = path.substr(kLongPathPrefix.size());
    } else {
        text = sim_paths::FullPathName(path, currentDirectory_);
        if (text.size() >= kMaxPath) {
            return win32::kErrorFilenameExcedRange;
        }
    }
    for (int reparses = 0;;) {
        char16_t letter = 0;
        const DriveState* drive = text.size() >= 3 && text[2] == u'\\' &&
                                          ParseRoot(std::u16string_view(text).substr(0, 3), letter)
                                      ? FindDrive(letter)
                                      : nullptr;
        if (drive == nullptr) {
            return win32::kErrorPathNotFound;
        }
        if (!drive->substTarget.empty()) {
            if (++reparses > kMaxReparses) {
                return win32::kErrorCantResolveFilename;
            }
            text = Below(drive->substTarget, std::u16string_view(text).substr(3));
            continue;
        }
        std::shared_ptr<SimVolume> volume = drive->volume;
        if (volume == nullptr || volume->IsRemoved()) {
            return win32::kErrorPathNotFound;
        }
        std::uint64_t id = SimVolume::kRoot;
        std::u16string walked = text.substr(0, 2);  // the path of `id` as opened
        const std::vector<std::u16string_view> names = NamesOf(std::u16string_view(text).substr(3));
        std::u16string redirected;
        for (std::size_t i = 0; i < names.size() && redirected.empty(); ++i) {
            const std::u16string_view name = names[i];
            const bool last = i + 1 == names.size();
            if (name.empty() && last) {
                break;  // a trailing separator
            }
            if (!sim_names::IsValid(name)) {
                return win32::kErrorInvalidName;
            }
            const std::uint64_t child = volume->ChildByName(id, name);
            if (child == 0) {
                return last ? win32::kErrorFileNotFound : win32::kErrorPathNotFound;
            }
            if (const auto info = volume->Info(child);
                !last && (!info || (info->attributes & ntfs::kAttributeDirectory) == 0)) {
                return win32::kErrorPathNotFound;  // a file is no folder to go on in
            }
            const auto point = reparsePoints_.find({volume.get(), child});
            if (point != reparsePoints_.end() && ++reparses > kMaxReparses) {
                return win32::kErrorCantResolveFilename;
            }
            if (point != reparsePoints_.end() && point->second.mounted == nullptr) {
                // A link: what remains of the path continues from its target, a relative
                // one taken from the link's folder.
                std::u16string rest;
                for (std::size_t j = i + 1; j < names.size(); ++j) {
                    rest.append(names[j]).append(j + 1 < names.size() ? u"\\" : u"");
                }
                const std::u16string& target = point->second.target;
                const bool absolute = target.size() >= 3 && target[1] == u':';
                redirected = Below(absolute ? target
                                            : sim_paths::FullPathName(Below(walked + u'\\', target),
                                                                      currentDirectory_),
                                   rest);
                break;
            }
            walked.append(u"\\").append(name);
            if (point != reparsePoints_.end()) {
                volume = point->second.mounted;
                id = SimVolume::kRoot;
            } else {
                id = child;
            }
        }
        if (redirected.empty()) {
            found = Located{std::move(volume), id};
            return win32::kErrorSuccess;
        }
        text = std::move(redirected);
    }
}

std::u16string SimPlatform::FinalPathOf(const Located& file) const {
    const std::u16string dosName = DosNameOf(file.volume.get());
    const auto path = file.volume->PathOf(file.id);
    if (dosName.empty() || !path) {
        return {};
    }
    return std::u16string(kLongPathPrefix) + dosName + *path;
}

std::u16string SimPlatform::DosNameOf(const SimVolume* volume) const {
    for (const auto& [letter, drive] : drives_) {
        if (drive.volume.get() == volume) {
            return std::u16string{letter, u':'};
        }
    }
    // As the mount manager names a volume without a letter: by a folder it is mounted in.
    for (const auto& [key, point] : reparsePoints_) {
        if (point.mounted.get() != volume) {
            continue;
        }
        for (const auto& [letter, drive] : drives_) {
            if (drive.volume.get() == key.first) {
                if (const auto folder = point.host->PathOf(key.second)) {
                    return std::u16string{letter, u':'} + *folder;
                }
            }
        }
    }
    return {};
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

const SimPlatform::DriveState* SimPlatform::DriveBehind(char16_t letter) const {
    const DriveState* drive = FindDrive(letter);
    for (int depth = 0; drive != nullptr && !drive->substTarget.empty(); ++depth) {
        const std::u16string& target = drive->substTarget;
        drive = depth < kMaxReparses && target.size() >= 2 && target[1] == u':'
                    ? FindDrive(target[0])
                    : nullptr;
    }
    return drive;
}

SimPlatform::DriveState& SimPlatform::DriveEntry(char16_t letter) {
    return drives_[DriveKey(letter)];
}
