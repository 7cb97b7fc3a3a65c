#pragma once

#include <functional>
#include <memory>

// The worker thread of one engine. Join waits for it without blocking what the worker
// may be waiting for: in the windows build the waiting thread keeps serving the messages
// other threads send to its windows (a worker's callback may be sending one), while
// posted messages stay queued. Natively it is a plain join. Never detached.
class WorkerThread {
public:
    WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread();  // joins a worker still running

    // Starts body on a new thread; false when no thread could be created.
    bool Start(std::function<void()> body);
    bool Running() const;
    void Join();

private:
    struct State;
    std::unique_ptr<State> state_;
};
