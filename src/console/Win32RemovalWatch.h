#pragma once

#include <windows.h>

#include <thread>
#include <vector>

#include "console/ConsoleHost.h"
#include "runtime/win32/RemovalNotice.h"

// The system's questions about removing the devices of open volumes, for a program without
// a window: a message-only window on a thread of its own receives them (a console's main
// thread has no message loop) and hands each to the program, answering once it returns.
class Win32RemovalWatch final : public ConsoleHost::RemovalWatch {
public:
    Win32RemovalWatch(std::vector<PlatformHandle> volumes, ConsoleHost::OnRemoval onRemoval);
    ~Win32RemovalWatch() override;

private:
    void Run();
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    std::vector<PlatformHandle> volumes_;
    ConsoleHost::OnRemoval onRemoval_;
    std::vector<RemovalNotice> notices_;  // the window's thread's own
    HANDLE ready_ = nullptr;              // set once the window is there, or could not be
    DWORD threadId_ = 0;
    std::thread thread_;
};
