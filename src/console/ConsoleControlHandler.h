#pragma once

#include <windows.h>

#include <mutex>

#include "engine/StopSignal.h"

// While it lives, Ctrl+C and Ctrl+Break set `stop` instead of ending the process, so that
// the program stops its watches and exits by itself. Closing the console and shutting
// down set it too; the system ends the process when its handler returns, so the handler
// then waits, and the process ends when the program has finished.
class ConsoleControlHandler {
public:
    explicit ConsoleControlHandler(StopSignal& stop);
    ConsoleControlHandler(const ConsoleControlHandler&) = delete;
    ConsoleControlHandler& operator=(const ConsoleControlHandler&) = delete;
    ~ConsoleControlHandler();

private:
    static BOOL WINAPI Handle(DWORD event);

    // The system calls the handler on a thread of its own and with no context, so the
    // signal is kept for the process; the lock keeps it from going while the handler
    // sets it.
    static std::mutex mutex_;
    static StopSignal* stop_;
};
