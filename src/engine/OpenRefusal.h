#pragma once

#include "ntfs/JournalRecords.h"

// Why VolumeJournalWatcher::Open refused a volume, in the order Open checks.
enum class OpenRefusal {
    None,                // the watch started
    NotNtfs,             // the file-system name is readable and is not NTFS
    NoVolume,            // nothing is mounted at the drive letter
    NotFixedDrive,       // a removable, network, optical or RAM drive
    VolumeNotOpened,     // the volume device cannot be opened: without administrator rights
    JournalUnavailable,  // the change journal cannot be created or queried
    WorkerNotStarted,    // no thread could be created for the worker
};

// The refusal a drive of this type meets (GetDriveTypeW's answer); None for a fixed drive.
constexpr OpenRefusal RefusalOfDriveType(unsigned driveType) {
    if (driveType == ntfs::kDriveFixed) {
        return OpenRefusal::None;
    }
    return driveType == ntfs::kDriveNoRootDir ? OpenRefusal::NoVolume : OpenRefusal::NotFixedDrive;
}
