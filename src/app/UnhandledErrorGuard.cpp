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
        MessageBoxW(nullptr, L"程序在运行时抛出了未被管理的异常", L"运行时异常", MB_OK | MB_ICONERROR);
        std::exit(-1);
    }
}
