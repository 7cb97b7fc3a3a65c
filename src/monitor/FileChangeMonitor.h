#pragma once

#include <map>
#include <memory>

#include "engine/OpenRefusal.h"
#include "engine/VolumeJournalWatcher.h"
#include "engine/VolumePlatform.h"
#include "runtime/events/EventSlot.h"
#include "runtime/text/AsciiCase.h"
#include "runtime/text/CMStringArray.h"
#include "runtime/text/CVolObject.h"
#include "runtime/text/CWString.h"

// The one object through which the application watches volumes: one engine per drive
// letter, in either case (c and C are one drive), and nine events of its own, raised on the worker
// thread of the engine that found the change. Start, stop and destruction run on the caller's
// thread.
class FileChangeMonitor : public CVolObject {
public:
    explicit FileChangeMonitor(VolumePlatform& platform);
    // Copies, clones, assignments and resets carry no watches and no bindings.
    FileChangeMonitor(const FileChangeMonitor& other);
    FileChangeMonitor& operator=(const FileChangeMonitor& other);
    ~FileChangeMonitor() override;

    std::unique_ptr<FileChangeMonitor> Clone() const;
    // Ends every watch and unbinds every event.
    void Reset();

    // Watches `paths` (full paths of directories of the volume, as WatchedDirectory gives
    // them) on the volume of the first character of driveText (a watch already running
    // there is restarted with them). False when the engine refuses the watch; no watch is
    // then left for that drive, and LastRefusal says why.
    bool StartWatch(const CWString& driveText, const CMStringArray& paths);
    // The same with the caller's own slots in place of this monitor's events, for a caller
    // that wants every argument of the engine's calls; no event is raised for this watch.
    // With `resumeFrom`, the watch begins there (see VolumeJournalWatcher::Open).
    bool StartWatch(const CWString& driveText, const CMStringArray& paths, WatcherSlots slots,
                    std::optional<JournalPosition> resumeFrom = {});
    // Why the last StartWatch was refused; None after one that started.
    OpenRefusal LastRefusal() const { return lastRefusal; }
    // Ends the watch of driveLetter, if there is one, and destroys its engine.
    void StopWatch(char16_t driveLetter);
    // The same, answering where the watch got to: the journal and the Usn up to which every
    // record was handed on, where a later watch may resume. Nothing without a watch.
    std::optional<JournalPosition> EndWatch(char16_t driveLetter);
    // Where the watch of driveLetter has got to now (any thread may ask the engine).
    std::optional<JournalPosition> PositionOf(char16_t driveLetter) const;
    // The system asks to remove the device of the volume opened as `volume`: the watch on
    // it ends, saying why (WatchEnded), and its volume is closed so that the removal can go
    // on. False when no watch has that volume open.
    bool StopWatchForRemoval(PlatformHandle volume);
    // Whether the watch of driveLetter has ended by itself (its engine stays until
    // StopWatch).
    bool HasEnded(char16_t driveLetter) const;
    // The volume handle of driveLetter's watch, for a notice of its device's removal;
    // kInvalidPlatformHandle without one.
    PlatformHandle VolumeOf(char16_t driveLetter) const;
    bool IsWatching(char16_t driveLetter) const {
        return watchers.count(FoldAsciiLetter(driveLetter)) != 0;
    }
    std::size_t WatchCount() const { return watchers.size(); }

    // Raised by the engines through their slots, never called directly.
    int RaiseWatchStarted(CWString& drive);
    int RaiseFileCreated(CWString& drive, CWString& name, CWString& dir);
    int RaiseFileDeleted(CWString& drive, CWString& name, CWString& dir);
    int RaiseFileContentChanged(CWString& drive, CWString& name, CWString& dir);
    int RaiseFileRenamed(CWString& drive, CWString& oldName, CWString& newName, CWString& dir);
    int RaiseFileRecycled(CWString& drive, CWString& oldName, CWString& oldDir, CWString& newPath);
    int RaiseFileMoved(CWString& drive, CWString& oldName, CWString& newName, CWString& oldDir,
                       CWString& newDir);
    int RaiseFileAttributesChanged(CWString& drive, CWString& name, CWString& dir, int reasons);
    int RaiseFileOtherChange(CWString& drive, CWString& name, CWString& dir, int reasons);
    int RaiseJournalGap(CWString& drive, CWString& root, int reason, std::int64_t firstLostUsn,
                        std::int64_t resumeUsn);
    int RaiseWatchEnded(CWString& drive, CWString& root, int reason);

private:
    WatcherSlots MakeSlots(const CWString& driveText);
    std::unique_ptr<VolumeJournalWatcher> TakeOut(char16_t driveLetter);
    void StopAll();
    void UnbindAll();

    VolumePlatform& platform;
    std::map<char16_t, std::unique_ptr<VolumeJournalWatcher>> watchers;
    OpenRefusal lastRefusal = OpenRefusal::None;

public:
    // Handlers receive (receiver, this monitor, extra, drive, the event's arguments…).
    EventSlot<CWString&> WatchStarted;
    EventSlot<CWString&, CWString&, CWString&> FileCreated;
    EventSlot<CWString&, CWString&, CWString&> FileDeleted;
    EventSlot<CWString&, CWString&, CWString&> FileContentChanged;
    EventSlot<CWString&, CWString&, CWString&, CWString&> FileRenamed;
    EventSlot<CWString&, CWString&, CWString&, CWString&> FileRecycled;
    EventSlot<CWString&, CWString&, CWString&, CWString&, CWString&> FileMoved;
    EventSlot<CWString&, CWString&, CWString&, int> FileAttributesChanged;
    EventSlot<CWString&, CWString&, CWString&, int> FileOtherChange;
    // Notices about a watch itself, beside the nine: records gone before they were read
    // (reason a JournalGap), and a watch that ended by itself (reason a WatchEnd). root is
    // the volume's root, "C:\".
    EventSlot<CWString&, CWString&, int, std::int64_t, std::int64_t> JournalGap;
    EventSlot<CWString&, CWString&, int> WatchEnded;
};
