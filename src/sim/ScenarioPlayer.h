#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "sim/DemoScenario.h"

// Plays a scenario on a thread of its own at a pace a person can follow, until stopped.
class ScenarioPlayer {
public:
    ScenarioPlayer(DemoScenario& scenario, std::chrono::milliseconds pace);
    ScenarioPlayer(const ScenarioPlayer&) = delete;
    ScenarioPlayer& operator=(const ScenarioPlayer&) = delete;
    ~ScenarioPlayer();  // stops and joins

    void Stop();
    std::uint64_t StepsPlayed() const;

private:
    void Play();

    DemoScenario& scenario_;
    const std::chrono::milliseconds pace_;
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::uint64_t played_ = 0;
    std::thread thread_;
};
