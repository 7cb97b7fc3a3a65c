#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/PacedStopSignal.h"
#include "engine/SlotLog.h"
#include "engine/VolumeJournalWatcher.h"
#include "runtime/text/CMStringArray.h"
#include "runtime/text/Utf8.h"
#include "sim/JournalReadProbe.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

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
// engine has read everything the journal holds, a gate that can hold its reads and a stop
// signal that can hold its pauses.
class EngineTest : public ::testing::Test {
protected:
    // In this order, so that the engine's worker has ended before what it calls goes.
    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    SlotLog log;
    ReadGate gate{volume};
    JournalReadProbe probe{platform};
    PacedStopSignal pauses;  // the clock's until a test holds them
    VolumeJournalWatcher watcher{probe, pauses};

    static CMStringArray Paths(std::initializer_list<const char16_t*> paths) {
        CMStringArray array;
        for (const char16_t* p : paths) {
            array.Add(CWString(p));
        }
        return array;
    }

    // Opens a watch that starts after the set-up (two seconds later on the simulated
    // clock) and waits until it reads the journal, its enumeration done.
    bool Open(std::initializer_list<const char16_t*> paths = {}) { return Open(Paths(paths)); }
    bool Open(const CMStringArray& paths) {
        platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
        const bool opened = watcher.Open(u'C', paths, log.Slots());
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
