#include "runtime/forms/RuntimeWindowClass.h"

#include "runtime/forms/CVWnd.h"

HINSTANCE RuntimeModule() {
    return GetModuleHandleW(nullptr);
}

bool EnsureRuntimeWindowClass(const wchar_t* className) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(RuntimeModule(), className, &existing)) {
        return true;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = CVWnd::WindowProc;
    wc.hInstance = RuntimeModule();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = className;
    // Another thread may have registered it in between; then the class is there all the same.
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
