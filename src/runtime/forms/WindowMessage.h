#pragma once

#include <windows.h>

// One window message as a listener sees it. A listener may change wParam and lParam for
// the rest of the processing, or set result and end it.
struct WindowMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
};
