#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console/ConsoleHost.h"
#include "console/ConsoleOptions.h"
#include "console/StateFile.h"
#include "console/WatchState.h"
#include "engine/OpenRefusal.h"
#include "engine/StopSignal.h"
#include "engine/VolumePlatform.h"
#include "engine/WatchedDirectory.h"
#include "engine/WatcherSlots.h"
#include "monitor/FileChangeMonitor.h"

// The console program: watches the directories of its command line through the file
// change monitor, one watch per drive, and writes one line per change to standard
// output (the window's line or the replay tool's JSON), each as it comes. Standard error
// gets one line per watch that starts or is refused, with the reason, and one per
// directory that cannot be watched. It runs until asked to stop (Ctrl+C), until --for has
// passed or --count lines are written; then every watch is stopped, its worker ended,
// before the program answers its exit code.
class ConsoleProgram {
public:
    static constexpr int kStopped = 0;
    static constexpr int kFailed = 1;        // no watch could start, or the output failed
    static constexpr int kBadArguments = 2;  // or a state file that cannot be read
    // How often where the watches got to goes into the state file while they run.
    static constexpr std::chrono::milliseconds kStateSaveInterval{5000};

    // `name` is the program's name in its messages.
    ConsoleProgram(std::u16string_view name, VolumePlatform& platform, ConsoleHost& host)
        : name_(name), platform_(platform), host_(host) {}

    // The arguments after the program's name; `stop` ends the watching when set (from
    // any thread). Answers the exit code.
    int Run(std::span<const std::u16string> args, StopSignal& stop);

private:
    // The directories of one drive: one watch.
    struct DriveWatch {
        char16_t letter = 0;                        // upper case: c:\ and C:\ are one watch
        std::vector<WatchedDirectory> directories;  // as WatchedDirectory found them
    };

    // How far one drive's watch has come, for the state file.
    struct Progress {
        char16_t letter = 0;
        std::optional<std::uint32_t> serial;           // of its volume, when it can be told
        std::optional<JournalPosition> reached;        // every record before was handed on
        std::atomic<std::int64_t> firstUnwritten{-1};  // a change not written, if any
    };

    int Watch(const ConsoleOptions& options, StopSignal& stop);
    // Where the watch of a drive resumes: its place in the state, when the volume there is
    // the one the state names (another one starts afresh, with a word on standard error).
    std::optional<JournalPosition> ResumePoint(const WatchState& state, const DriveWatch& drive,
                                               Progress& watch);
    bool SaveState(StateFile& file, WatchState& state, const std::deque<Progress>& progress);
    // The command line's directories as the directories they lead to, by drive in the
    // order given; says why for each that cannot be watched.
    std::vector<DriveWatch> DrivesOf(const std::vector<std::u16string>& directories);
    // Starts the watch of one drive, or says why not; answers whether it runs.
    bool StartWatch(FileChangeMonitor& monitor, const DriveWatch& drive, const WatcherSlots& slots,
                    std::optional<JournalPosition> resumeFrom);
    void WriteError(std::u16string_view message);
    void WriteText(TextStream& stream, std::u16string_view text);

    const std::u16string name_;
    VolumePlatform& platform_;
    ConsoleHost& host_;
};
