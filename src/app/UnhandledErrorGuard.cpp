#include "app/UnhandledErrorGuard.h"

#include <windows.h>

#include <cstdlib>

void RunGuarded(const std::function<void()>& step) {
    if (IsDebuggerPresent()) {
        step();
        return;
    }
    try {
        step();
    } catch (...) {
        // A message box ends at once when a quit message waits in the queue: it is taken
        // off for the box and put back after it.
        MSG quit;
        const bool quitWaiting = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        MessageBoxW(nullptr, L"程序在运行时抛出了未被管理的异常", L"运行时异常",
                    MB_OK | MB_ICONERROR);
        if (quitWaiting) {
            PostQuitMessage(static_cast<int>(quit.wParam));
        }
        std::exit(-1);
    }
}
