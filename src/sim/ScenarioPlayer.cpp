#include "sim/ScenarioPlayer.h"

ScenarioPlayer::ScenarioPlayer(DemoScenario& scenario, std::chrono::milliseconds pace)
    : scenario_(scenario), pace_(pace), thread_([this] { Play(); }) {}

ScenarioPlayer::~ScenarioPlayer() {
    Stop();
    thread_.join();
}

void ScenarioPlayer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stopped_.notify_all();
}

std::uint64_t ScenarioPlayer::StepsPlayed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return played_;
}

void ScenarioPlayer::Play() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopped_.wait_for(lock, pace_, [this] { return stop_; })) {
        lock.unlock();
        scenario_.Step();
        lock.lock();
        ++played_;
    }
}
