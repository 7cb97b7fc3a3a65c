#pragma once

#include <functional>

// Runs the creation of the main window so that no error escapes to the platform: without
// a debugger attached, an error that escapes is shown in one message box ("运行时异常")
// and the process ends with exit code -1; with a debugger, the error goes to it.
void RunGuarded(const std::function<void()>& step);
