#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <span>

#include "engine/OpenRefusal.h"
#include "engine/VolumeJournalWatcher.h"
#include "engine/VolumePlatform.h"
#include "engine/WatchedDirectory.h"
#include "runtime/events/EventSlot.h"
#include "runtime/text/AsciiCase.h"
#include "runtime/text/CMStringArray.h"
#include "runtime/text/CVolObject.h"
#include "runtime/text/CWString.h"

// The one object through which the application watches volumes: one engine per drive
// letter, in either case (c and C are one drive), and one event per kind of change
// (FileCreated, FileDeleted, …, as kChangeKinds names them), each carrying the change's
// value, raised on the worker thread of the engine that found it. Only the kinds whose
// events are bound when a watch starts are asked of the engine, and of those only the
// kinds the owner's filter wants at the moment: nobody pays for a change nobody shows.
// Start, stop and destruction run on the caller's thread.
class FileChangeMonitor : public CVolObject {
public:
    // Handlers receive (receiver, this monitor, extra, the change).
    using ChangeEvent = EventSlot<const FileChange&>;

    explicit FileChangeMonitor(VolumePlatform& platform);
    // Copies, clones, assignments and resets carry no watches and no bindings.
    FileChangeMonitor(const FileChangeMonitor& other);
    FileChangeMonitor& operator=(const FileChangeMonitor& other);
    ~FileChangeMonitor() override;

    std::unique_ptr<FileChangeMonitor> Clone() const;
    // Ends every watch and unbinds every event.
    void Reset();

    // The event of a kind. Bound before a watch starts, so that the watch asks for it.
    ChangeEvent& Event(ChangeKind kind) { return events[IndexOf(kind)]; }
    // Which of the bound kinds are wanted at the moment: asked on the worker thread before
    // a change is built. Set before a watch starts; none wants every bound kind.
    void SetFilter(KindFilter wanted) { filter = std::move(wanted); }

    // Watches the directories (as WatchedDirectory found them, all on driveLetter's
    // volume; none: the whole volume) with this monitor's events; a watch already running
    // there is restarted with them. False when the engine refuses the watch; no watch is
    // then left for that drive, and LastRefusal says why.
    bool StartWatch(char16_t driveLetter, std::span<const WatchedDirectory> directories);
    // The same with the caller's own slots in place of this monitor's events; no event is
    // raised for this watch. With `resumeFrom`, the watch begins there (see
    // VolumeJournalWatcher::Open).
    bool StartWatch(char16_t driveLetter, std::span<const WatchedDirectory> directories,
                    WatcherSlots slots, std::optional<JournalPosition> resumeFrom = {});
    // The same for directories named by their paths (each read by WatchedDirectory) on the
    // volume of the first character of driveText.
    bool StartWatch(const CWString& driveText, const CMStringArray& paths);
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

    // Raises the event of the change's kind; the handler's result, 0 when none is bound.
    // The engines' slots call it on their workers.
    int Raise(const FileChange& change);

private:
    WatcherSlots MakeSlots();
    std::unique_ptr<VolumeJournalWatcher> TakeOut(char16_t driveLetter);
    void StopAll();
    void UnbindAll();

    VolumePlatform& platform;
    std::map<char16_t, std::unique_ptr<VolumeJournalWatcher>> watchers;
    OpenRefusal lastRefusal = OpenRefusal::None;
    KindFilter filter;
    std::array<ChangeEvent, kChangeKindCount> events;
};
