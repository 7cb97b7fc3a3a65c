#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/VolumeJournalWatcher.h"
#include "engine/WatcherSlots.h"
#include "runtime/text/CMStringArray.h"
#include "runtime/text/Utf8.h"
#include "sim/JournalReadProbe.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

// Records every slot call as one line: the slot's short name, then its text arguments
// joined by '|' ("Created C:\data\|a.txt", "Renamed a.txt|b.txt|C:\data\"), and the
// reason mask in hex for the kinds that carry one.
class SlotLog {
public:
    WatcherSlots Slots() {
        WatcherSlots s;
        s.OnStarted = [this] { return Add("Started"); };
        s.OnCreated = [this](CWString& name, CWString& dir, FileTime&, int) {
            return Add("Created " + U(dir) + "|" + U(name));
        };
        s.OnDeleted = [this](CWString& name, CWString& dir, FileTime&, int) {
            return Add("Deleted " + U(dir) + "|" + U(name));
        };
        s.OnContentChanged = [this](CWString& name, CWString& dir, int, FileTime&, int) {
            return Add("Content " + U(dir) + "|" + U(name));
        };
        s.OnRenamed = [this](CWString& oldName, CWString& newName, CWString& dir, FileTime&, int) {
            return Add("Renamed " + U(oldName) + "|" + U(newName) + "|" + U(dir));
        };
        s.OnRecycled = [this](CWString& oldName, CWString& oldDir, CWString& newPath, FileTime&,
                              int) {
            return Add("Recycled " + U(oldName) + "|" + U(oldDir) + "|" + U(newPath));
        };
        s.OnMoved = [this](CWString& oldName, CWString& newName, CWString& oldDir, CWString& newDir,
                           FileTime&, int) {
            return Add("Moved " + U(oldName) + "|" + U(newName) + "|" + U(oldDir) + "|" +
                       U(newDir));
        };
        s.OnAttributesChanged = [this](CWString& name, CWString& dir, int reasons, FileTime&, int) {
            return Add("Attributes " + U(dir) + "|" + U(name) + " " + Hex(reasons));
        };
        s.OnOtherChange = [this](CWString& name, CWString& dir, int reasons, FileTime&, int) {
            return Add("Other " + U(dir) + "|" + U(name) + " " + Hex(reasons));
        };
        return s;
    }

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    // The lines without the "Started" ones.
    std::vector<std::string> Changes() const {
        std::vector<std::string> changes;
        for (const auto& line : Lines()) {
            if (line != "Started") {
                changes.push_back(line);
            }
        }
        return changes;
    }
    int Count(const std::string& line) const {
        int n = 0;
        for (const auto& l : Lines()) {
            n += l == line ? 1 : 0;
        }
        return n;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }

private:
    static std::string U(const CWString& text) { return ToUtf8(text); }
    static std::string Hex(int value) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%x", static_cast<unsigned>(value));
        return buffer;
    }
    int Add(std::string line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(std::move(line));
        return 0;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Holds the engine's worker at the start of its journal reads while a test changes the
// volume, so that the changes are classified later in one go.
class ReadGate {
public:
    explicit ReadGate(SimVolume& volume) {
        volume.SetRequestHook([this](std::uint32_t code) {
            if (code != ntfs::kFsctlReadUsnJournal) {
                return;
            }
            std::unique_lock<std::mutex> lock(mutex_);
            if (closed_) {
                held_ = true;
                changed_.notify_all();
                changed_.wait(lock, [this] { return !closed_; });
                held_ = false;
            }
        });
    }
    void CloseAndWaitForTheReader() {
        std::unique_lock<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.wait(lock, [this] { return held_; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = false;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    bool held_ = false;
};

// A simulated machine with drive C:, an engine over it, a probe that tells when the
// engine has read everything the journal holds and a gate that can hold its reads.
class EngineTest : public ::testing::Test {
protected:
    // In this order, so that the engine's worker has ended before what it calls goes.
    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    SlotLog log;
    ReadGate gate{volume};
    JournalReadProbe probe{platform};
    VolumeJournalWatcher watcher{probe};

    static CMStringArray Paths(std::initializer_list<const char16_t*> paths) {
        CMStringArray array;
        for (const char16_t* p : paths) {
            array.Add(CWString(p));
        }
        return array;
    }

    // Opens a watch that starts after the set-up (two seconds later on the simulated
    // clock) and waits until it reads the journal, its enumeration done.
    bool Open(std::initializer_list<const char16_t*> paths = {}) {
        platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
        const bool opened = watcher.Open(u'C', Paths(paths), log.Slots());
        if (opened) {
            CatchUp();
        }
        return opened;
    }

    // Waits until the engine has handed on every record the journal holds now.
    void CatchUp() {
        const auto data = volume.JournalData();
        ASSERT_TRUE(data.has_value());
        ASSERT_TRUE(probe.WaitCaughtUp(data->NextUsn)) << "the engine did not catch up";
    }
};
