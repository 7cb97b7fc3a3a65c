#include <windows.h>

#include <system_error>
#include <thread>

#include "engine/WorkerThread.h"
#include "runtime/win32/ScopedResource.h"

struct WorkerThread::State {
    std::thread thread;
    // Manual-reset event the worker sets on its way out: a posix-model std::thread has no
    // Win32 handle to wait on.
    ScopedHandle exited;
};

WorkerThread::WorkerThread() : state_(std::make_unique<State>()) {}

WorkerThread::~WorkerThread() {
    Join();
}

bool WorkerThread::Start(std::function<void()> body) {
    Join();
    ScopedHandle exited(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!exited) {
        return false;
    }
    const HANDLE event = exited.Get();
    try {
        state_->thread = std::thread([body = std::move(body), event] {
            body();
            SetEvent(event);
        });
    } catch (const std::system_error&) {
        return false;
    }
    state_->exited = std::move(exited);
    return true;
}

bool WorkerThread::Running() const {
    return state_->thread.joinable();
}

void WorkerThread::Join() {
    if (!state_->thread.joinable()) {
        return;
    }
    const HANDLE event = state_->exited.Get();
    // Serve messages sent to this thread's windows (a worker blocked in SendMessageW to
    // them can then finish); dispatch nothing posted, so no click or WM_CLOSE runs here.
    for (;;) {
        const DWORD wait = MsgWaitForMultipleObjectsEx(1, &event, INFINITE, QS_SENDMESSAGE, 0);
        if (wait == WAIT_OBJECT_0) {
            break;
        }
        if (wait == WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        WaitForSingleObject(event, INFINITE);  // the wait itself failed: fall back to a plain one
        break;
    }
    state_->thread.join();
    state_->exited.Reset();
}
