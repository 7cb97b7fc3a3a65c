#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "engine/DirectoryEnumeration.h"
#include "engine/JournalReader.h"
#include "engine/SlotLog.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

// A journal reader over a simulated drive C:, driven a turn at a time on the test's own
// thread: what happens between two reads is whatever the test does between two turns, with
// no worker, gate or pause to hold.
class SteppedReaderTest : public ::testing::Test {
protected:
    using Outcome = JournalReader::Outcome;

    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    SlotLog log;
    WatcherSlots slots = log.Slots();
    FileRecordIndex index;
    StopSignal stop;
    PlatformHandle handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    std::optional<JournalReader> reader;

    ~SteppedReaderTest() override { platform.CloseVolume(handle); }

    // As a watch begins: the journal queried (made when there is none), the directories
    // enumerated, reading from the journal's next record or from `resumeFrom`.
    void Begin(std::optional<JournalPosition> resumeFrom = {}) {
        ntfs::UsnJournalDataV0 journal{};
        std::uint32_t error = 0;
        ASSERT_EQ(JournalReader::QueryOrCreateJournal(platform, handle, journal, error),
                  JournalReader::JournalAnswer::kReady);
        EnumerateDirectories(platform, handle, stop, index);
        reader.emplace(WatchScope{platform, handle, u"C:\\", nullptr, &index, slots}, journal,
                       stop);
        reader->Begin(resumeFrom);
    }
    JournalReader::Turn Turn() { return reader->ReadOnce(); }
    // Turns until one finds nothing new: every record the journal holds is handed on.
    void ReadAll() {
        for (int turn = 0; turn < 10000; ++turn) {
            const JournalReader::Turn t = Turn();
            ASSERT_FALSE(t.end.has_value()) << "the watch ended";
            if (t.outcome == Outcome::kIdle) {
                return;
            }
        }
        FAIL() << "the reader never caught up";
    }
    std::uint64_t Requests(std::uint32_t code) const { return volume.RequestCount(code); }
};
