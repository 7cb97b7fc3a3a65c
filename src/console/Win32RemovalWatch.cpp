#include "console/Win32RemovalWatch.h"

#include <utility>

namespace {

constexpr wchar_t kWindowClass[] = L"YzwatchRemovalNotices";

}  // namespace

Win32RemovalWatch::Win32RemovalWatch(std::vector<PlatformHandle> volumes,
                                     ConsoleHost::OnRemoval onRemoval)
    : volumes_(std::move(volumes)), onRemoval_(std::move(onRemoval)) {
    const ScopedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ready_ = ready.Get();
    thread_ = std::thread([this] { Run(); });
    // Its thread id is known, and the window made, before anyone may end the thread.
    WaitForSingleObject(ready_, INFINITE);
    ready_ = nullptr;
}

Win32RemovalWatch::~Win32RemovalWatch() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

void Win32RemovalWatch::Run() {
    threadId_ = GetCurrentThreadId();
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // this thread's queue
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);  // already there after a first watch: that is fine
    const HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
    if (window != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        for (const PlatformHandle volume : volumes_) {
            notices_.emplace_back(window, reinterpret_cast<HANDLE>(volume));
        }
    }
    SetEvent(ready_);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    notices_.clear();
    if (window != nullptr) {
        DestroyWindow(window);
    }
}

LRESULT CALLBACK Win32RemovalWatch::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    auto* self = reinterpret_cast<Win32RemovalWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != WM_DEVICECHANGE || self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    for (std::size_t i = 0; i < self->notices_.size(); ++i) {
        if (self->notices_[i].AsksToRemove(wParam, lParam)) {
            // The registration goes before the handle, as the system asks.
            self->notices_[i] = RemovalNotice();
            self->onRemoval_(self->volumes_[i]);
            break;
        }
    }
    return TRUE;  // nothing here holds the device any longer
}
