#include "engine/WatchedDirectory.h"

#include "ntfs/Win32Codes.h"
#include "runtime/text/AsciiCase.h"

namespace {

constexpr std::u16string_view kLongPathPrefix = u"\\\\?\\";
constexpr std::u16string_view kNetworkPrefix = u"\\\\?\\UNC\\";

std::u16string_view WithoutLongPathPrefix(std::u16string_view path) {
    return path.starts_with(kLongPathPrefix) ? path.substr(kLongPathPrefix.size()) : path;
}

// What an open that failed with `error` says of the directory: a path that leads nowhere
// names no directory; anything else (no access, a sharing conflict) leaves it unknown.
OpenRefusal RefusalOfOpenError(std::uint32_t error) {
    switch (error) {
        case win32::kErrorFileNotFound:
        case win32::kErrorPathNotFound:
        case win32::kErrorInvalidName:
        case win32::kErrorBadPathname:
            return OpenRefusal::DirectoryMissing;
        default:
            return OpenRefusal::DirectoryNotIdentified;
    }
}

}  // namespace

std::optional<char16_t> WatchedDirectory::DriveLetterOf(std::u16string_view fullPath) {
    const std::u16string_view path = WithoutLongPathPrefix(fullPath);
    if (path.size() < 3 || !IsAsciiLetter(path[0]) || path[1] != u':' || path[2] != u'\\') {
        return std::nullopt;
    }
    return FoldAsciiLetter(path[0]);
}

std::u16string WatchedDirectory::DrivePathOf(std::u16string_view fullPath) {
    const auto letter = DriveLetterOf(fullPath);
    if (!letter) {
        return std::u16string(fullPath);
    }
    std::u16string path(WithoutLongPathPrefix(fullPath));
    path[0] = *letter;
    return path;
}

std::u16string WatchedDirectory::LongPathForm(std::u16string_view fullPath) {
    return std::u16string(kLongPathPrefix) + DrivePathOf(fullPath);
}

std::u16string WatchedDirectory::RootOf(char16_t drive) {
    return std::u16string{drive, u':', u'\\'};
}

WatchedDirectory WatchedDirectory::Resolve(VolumePlatform& platform, std::u16string_view text) {
    while (!text.empty() && text.back() == u' ') {
        text.remove_suffix(1);
    }
    WatchedDirectory watched;
    // A "\\?\" path is taken as it is written, as the system takes it for an open.
    const CWString full =
        text.starts_with(kLongPathPrefix) ? CWString(text) : platform.FullPathName(CWString(text));
    watched.fullPath = DrivePathOf(full.View());
    const auto typedDrive = DriveLetterOf(full.View());
    if (full.IsEmpty() || !typedDrive) {
        watched.refusal = OpenRefusal::NotALocalDirectory;
        return watched;
    }
    watched.drive = *typedDrive;
    watched.refusal = RefusalOfDriveType(platform.QueryDriveType(CWString(RootOf(*typedDrive))));
    if (watched.refusal != OpenRefusal::None) {
        return watched;
    }

    // Opened in the long form, which takes any length; GetFullPathNameW has made the path
    // what the short form would have meant.
    FileIdentity identity;
    if (!platform.IdentifyFile(CWString(LongPathForm(watched.fullPath)), identity)) {
        watched.refusal = RefusalOfOpenError(platform.LastError());
        return watched;
    }
    if ((identity.attributes & ntfs::kAttributeDirectory) == 0) {
        watched.refusal = OpenRefusal::DirectoryMissing;  // a file
        return watched;
    }
    const auto finalDrive = DriveLetterOf(identity.finalPath.View());
    if (!finalDrive) {
        // A symbolic link may lead to a share: no local directory. Otherwise the system
        // had no letter to name the directory's volume by.
        watched.refusal = identity.finalPath.View().starts_with(kNetworkPrefix)
                              ? OpenRefusal::NotALocalDirectory
                              : OpenRefusal::DirectoryOnUnletteredVolume;
        return watched;
    }
    // Links may lead to another drive: its type is asked before its file system, as the
    // typed drive's was.
    const CWString finalRoot(RootOf(*finalDrive));
    if (*finalDrive != *typedDrive) {
        watched.drive = *finalDrive;
        watched.refusal = RefusalOfDriveType(platform.QueryDriveType(finalRoot));
        if (watched.refusal != OpenRefusal::None) {
            return watched;
        }
    }
    // A volume without a letter may be named through the folder it is mounted in, which
    // lies on another volume: only the serial number tells the two apart. When the name
    // cannot be read, the drive's root directory tells the serial number as well.
    VolumeInformation volume;
    std::optional<std::uint32_t> driveSerial;
    if (platform.QueryVolumeInformation(finalRoot, volume)) {
        driveSerial = volume.serialNumber;
        watched.fileSystem = volume.fileSystem.View();
    } else if (FileIdentity root;
               platform.IdentifyFile(CWString(LongPathForm(finalRoot.View())), root)) {
        driveSerial = root.volumeSerial;
    }
    if (!driveSerial) {
        watched.refusal = OpenRefusal::DirectoryNotIdentified;
        return watched;
    }
    if (*driveSerial != identity.volumeSerial) {
        watched.refusal = OpenRefusal::DirectoryOnUnletteredVolume;
        return watched;
    }
    watched.drive = *finalDrive;
    watched.path = DrivePathOf(identity.finalPath.View());
    watched.fileId = identity.fileId;
    watched.volumeSerial = identity.volumeSerial;
    return watched;
}
