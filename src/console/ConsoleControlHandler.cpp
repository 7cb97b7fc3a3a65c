#include "console/ConsoleControlHandler.h"

std::mutex ConsoleControlHandler::mutex_;
StopSignal* ConsoleControlHandler::stop_ = nullptr;

ConsoleControlHandler::ConsoleControlHandler(StopSignal& stop) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = &stop;
    }
    SetConsoleCtrlHandler(Handle, TRUE);
}

ConsoleControlHandler::~ConsoleControlHandler() {
    SetConsoleCtrlHandler(Handle, FALSE);
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = nullptr;
}

BOOL WINAPI ConsoleControlHandler::Handle(DWORD event) {
    if (event == CTRL_LOGOFF_EVENT) {
        // Only a process outside the user's session (a service's) hears of logoffs, of any
        // user's: its watch goes on. The user's own processes end with the session.
        return TRUE;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stop_ == nullptr) {
            return FALSE;  // the program is ending anyway: the system's default
        }
        stop_->Set();
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE;
    }
    // Returning would end the process now, perhaps in the middle of a line: the process
    // ends instead when the program returns from its main function (or when the system's
    // time for closing runs out).
    Sleep(INFINITE);
    return TRUE;
}
