#pragma once

#include <cstdint>
#include <functional>

#include "engine/WatchNotices.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/CWString.h"

// A journal record's time stamp as the platform's FILETIME: 100-ns units since
// 1601-01-01 UTC, in two 32-bit halves.
struct FileTime {
    std::uint32_t dwLowDateTime = 0;
    std::uint32_t dwHighDateTime = 0;

    static FileTime FromInt64(std::int64_t value) {
        const auto bits = static_cast<std::uint64_t>(value);
        return {static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(bits >> 32)};
    }
    std::int64_t ToInt64() const {
        return static_cast<std::int64_t>(ntfs::JoinHalves(dwHighDateTime, dwLowDateTime));
    }
};

// The engine's whole outward interface: one callable per kind of notification, called on
// the worker thread. Texts are the worker's working texts, valid during the call only.
// Results are ignored. An empty slot skips its notification. The nine change slots come
// first; the two notices about the watch itself after them.
struct WatcherSlots {
    using NameSlot =
        std::function<int(CWString& name, CWString& dir, FileTime& time, int attributes)>;
    using ReasonSlot = std::function<int(CWString& name, CWString& dir, int reasons, FileTime& time,
                                         int attributes)>;
    using RenameSlot = std::function<int(CWString& oldName, CWString& newName, CWString& dir,
                                         FileTime& time, int attributes)>;
    using RecycleSlot = std::function<int(CWString& oldName, CWString& oldDir, CWString& newPath,
                                          FileTime& time, int attributes)>;
    using MoveSlot = std::function<int(CWString& oldName, CWString& newName, CWString& oldDir,
                                       CWString& newDir, FileTime& time, int attributes)>;

    std::function<int()> OnStarted;
    NameSlot OnCreated;
    NameSlot OnDeleted;
    ReasonSlot OnContentChanged;
    RenameSlot OnRenamed;
    RecycleSlot OnRecycled;
    MoveSlot OnMoved;
    ReasonSlot OnAttributesChanged;
    ReasonSlot OnOtherChange;
    // Records the reader had not reached are gone (root: the volume's root, "C:\"). For a
    // wrap, [firstLostUsn, resumeUsn) is what was lost; reading goes on at resumeUsn.
    std::function<int(CWString& root, JournalGap reason, std::int64_t firstLostUsn,
                      std::int64_t resumeUsn)>
        OnGap;
    // The watch ended by itself; the worker returns right after. Once per watch at most.
    std::function<int(CWString& root, WatchEnd reason)> OnEnded;
    // The Usn of the record whose change slot the worker calls next, for a consumer that
    // keeps its own place in the journal.
    std::function<void(std::int64_t usn)> OnUsn;
};
