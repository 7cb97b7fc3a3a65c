#pragma once

#include <cstdint>

// What the engine tells about the watch itself, beside the changes it reports.

// Why records the reader had not reached are no longer in the journal.
enum class JournalGap : int {
    kOverwritten = 1,  // the journal wrapped past the reader: FirstUsn moved beyond it
    kReplaced = 2,     // the journal was deleted and created again: another identifier
    // A watch resumed from a saved position finds the journal wrapped past it: what
    // changed while nobody watched is partly gone.
    kOverwrittenWhileAway = 3,
};

// A place in a volume's journal: which journal, and the Usn of the next record to read.
struct JournalPosition {
    std::uint64_t journalId = 0;
    std::int64_t usn = 0;

    friend bool operator==(const JournalPosition&, const JournalPosition&) = default;
};

// Why a watch ended by itself (a stop asked for by the owner ends without a notice).
enum class WatchEnd : int {
    kVolumeGone = 1,          // unplugged, locked, dismounted
    kJournalUnavailable = 2,  // the journal cannot be opened again
    kRemovalRequested = 3,    // the system asked to remove the volume's device
};

// The errors after which the volume itself is gone rather than its journal: a read or a
// query on a handle of a volume that was unplugged, locked by BitLocker or dismounted.
constexpr bool IsVolumeGoneError(std::uint32_t error) {
    switch (error) {
        case 15:    // ERROR_INVALID_DRIVE
        case 21:    // ERROR_NOT_READY: no media, locked, dismounted
        case 55:    // ERROR_DEV_NOT_EXIST
        case 433:   // ERROR_NO_SUCH_DEVICE
        case 1006:  // ERROR_FILE_INVALID: the volume was altered (dismounted) under the handle
        case 1112:  // ERROR_NO_MEDIA_IN_DRIVE
        case 1167:  // ERROR_DEVICE_NOT_CONNECTED
        case 1617:  // ERROR_DEVICE_REMOVED
            return true;
        default:
            return false;
    }
}
