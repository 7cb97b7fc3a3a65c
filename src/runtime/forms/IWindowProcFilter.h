#pragma once

#include <windows.h>

// A filter on one window's messages, offered every message before anything else handles
// it. Answers true when it handled the message, with the message's result in *result.
class IWindowProcFilter {
public:
    virtual bool FilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                               LRESULT* result) = 0;

protected:
    ~IWindowProcFilter() = default;
};
