#include "demo/ActivityPlayer.h"

ActivityPlayer::ActivityPlayer(ActivitySource& source)
    : thread_([this, &source] { source.Run(stop_); }) {}

ActivityPlayer::~ActivityPlayer() {
    Stop();
}

void ActivityPlayer::Stop() {
    stop_.Set();
    if (thread_.joinable()) {
        thread_.join();
    }
}
