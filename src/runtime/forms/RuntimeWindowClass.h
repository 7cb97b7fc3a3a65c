#pragma once

#include <windows.h>

// Registers one of the runtime's own window classes the first time it is needed: double
// clicks, redraw on resize, the arrow cursor, no background brush (the windows paint their
// background themselves) and no icon. Answers whether the class is available.
bool EnsureRuntimeWindowClass(const wchar_t* className);

// The module whose resources and classes the runtime uses: the executable.
HINSTANCE RuntimeModule();
