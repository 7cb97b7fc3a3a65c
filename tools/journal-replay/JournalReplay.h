#pragma once

#include <ostream>

#include "ReplayOptions.h"

// Runs the real engine over a simulated volume whose device serves a journal copied off a
// real volume, with the volume's directories from a table, and writes what the slots
// receive as JSON lines to `out`. Counts of what was skipped, warnings and errors go to
// `err`. Stops the engine once it has read past the last record.
class JournalReplay {
public:
    static constexpr int kSuccess = 0;
    static constexpr int kReplayFailed = 1;  // the engine refused the volume or stopped reading
    static constexpr int kBadInput = 2;      // bad arguments, unreadable or malformed files

    static int Run(const ReplayOptions& options, std::ostream& out, std::ostream& err);
};
