#include <system_error>
#include <thread>

#include "engine/WorkerThread.h"

struct WorkerThread::State {
    std::thread thread;
};

WorkerThread::WorkerThread() : state_(std::make_unique<State>()) {}

WorkerThread::~WorkerThread() {
    Join();
}

bool WorkerThread::Start(std::function<void()> body) {
    Join();
    try {
        state_->thread = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool WorkerThread::Running() const {
    return state_->thread.joinable();
}

void WorkerThread::Join() {
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
}
