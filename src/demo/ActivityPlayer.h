#pragma once

#include <thread>

#include "demo/ActivitySource.h"
#include "engine/StopSignal.h"

// Runs an activity source on a thread of its own from construction until Stop or
// destruction, which set the stop signal and join the thread. The source must outlive it.
class ActivityPlayer {
public:
    explicit ActivityPlayer(ActivitySource& source);
    ActivityPlayer(const ActivityPlayer&) = delete;
    ActivityPlayer& operator=(const ActivityPlayer&) = delete;
    ~ActivityPlayer();

    void Stop();

private:
    StopSignal stop_;
    std::thread thread_;
};
