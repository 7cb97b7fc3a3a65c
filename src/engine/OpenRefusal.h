#pragma once

#include "ntfs/JournalRecords.h"

// Why a watch was refused: the reading of the watched directory (WatchedDirectory) and
// VolumeJournalWatcher::Open, in the order they check.
enum class OpenRefusal {
    None,                         // the watch started
    NotALocalDirectory,           // the path names no drive letter: a network or device path
    NoVolume,                     // nothing is mounted at the drive letter
    NetworkDrive,                 // the letter stands for a network share
    RemovableDrive,               // a removable drive, with its media or without
    OpticalDrive,                 // a CD or DVD drive
    NotFixedDrive,                // a RAM disk, or a drive of a type the system does not know
    DirectoryMissing,             // no directory by that path (or a file)
    DirectoryOnUnletteredVolume,  // links lead to a volume that has no drive letter
    NotNtfs,                      // the file-system name is readable and is not NTFS
    DirectoryNotIdentified,       // the directory cannot be opened or its volume not told
    DirectoryOnOtherVolume,       // a watched directory lies on another volume than the drive's
    VolumeNotOpened,     // the volume device cannot be opened: without administrator rights
    JournalUnavailable,  // the change journal cannot be created or queried
    WorkerNotStarted,    // no thread could be created for the worker
};

// The refusal a drive of this type meets (GetDriveTypeW's answer); None for a fixed drive.
// Decided from the type alone: nothing asks a network drive whose server is gone, or a
// drive without media, anything that waits.
constexpr OpenRefusal RefusalOfDriveType(unsigned driveType) {
    switch (driveType) {
        case ntfs::kDriveFixed:
            return OpenRefusal::None;
        case ntfs::kDriveNoRootDir:
            return OpenRefusal::NoVolume;
        case ntfs::kDriveRemote:
            return OpenRefusal::NetworkDrive;
        case ntfs::kDriveRemovable:
            return OpenRefusal::RemovableDrive;
        case ntfs::kDriveCdrom:
            return OpenRefusal::OpticalDrive;
        default:
            return OpenRefusal::NotFixedDrive;
    }
}

// Whether a refusal concerns the drive as a whole rather than one directory on it.
constexpr bool IsDriveRefusal(OpenRefusal refusal) {
    return refusal == OpenRefusal::NoVolume || refusal == OpenRefusal::NetworkDrive ||
           refusal == OpenRefusal::RemovableDrive || refusal == OpenRefusal::OpticalDrive ||
           refusal == OpenRefusal::NotFixedDrive;
}

// Whether a refusal concerns a watched directory rather than its drive or volume.
constexpr bool IsDirectoryRefusal(OpenRefusal refusal) {
    return refusal == OpenRefusal::NotALocalDirectory || refusal == OpenRefusal::DirectoryMissing ||
           refusal == OpenRefusal::DirectoryOnUnletteredVolume ||
           refusal == OpenRefusal::DirectoryNotIdentified ||
           refusal == OpenRefusal::DirectoryOnOtherVolume;
}
