// A test build of the program, run as a process by frame_tests. Its one argument picks
// what it does:
//   throw   the main window's creation throws: the error report must follow, exit -1
//   throw-windows-path
//           the same, with the WM_DESTROY that Windows (unlike Wine) sends after a failed
//           WM_CREATE: the report must still show
//   throw-quit-pending
//           the same, with a quit message waiting when the error escapes: the report must
//           still show
//   stream  the real main window over a simulated drive with changes streaming in; once
//           lines show, the window is closed: the process must end with 0 within 2 s
#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "ExecutableFacts.h"
#include "app/CVolMFCApp.h"
#include "app/MonitorApp.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

namespace {

class ThrowingForm : public CVolWinForm {
public:
    explicit ThrowingForm(bool postQuit) : postQuit_(postQuit) {}
    void CreateChildren() override {
        if (postQuit_) {
            PostQuitMessage(0);
        }
        throw std::runtime_error("creation failed");
    }
    int ClientWidth() const override { return 200; }
    int ClientHeight() const override { return 100; }

private:
    bool postQuit_;
};

class ThrowingApp : public CVolUserApp {
public:
    explicit ThrowingApp(bool postQuit) : form_(postQuit) {}
    CVolWinForm& MainWindow() override { return form_; }

private:
    ThrowingForm form_;
};

// Windows destroys a window whose WM_CREATE answered -1 with WM_DESTROY and WM_NCDESTROY;
// Wine sends only the latter. The hook adds the former once the form's WM_CREATE has
// returned (in this mode it always fails; Wine's hook does not carry the 32-bit result).
LRESULT CALLBACK DestroyAfterFailedCreate(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        wchar_t name[32] = {};
        GetClassNameW(sent->hwnd, name, 32);
        if (sent->message == WM_CREATE && std::wstring(name) == L"VolWinForm") {
            SendMessageW(sent->hwnd, WM_DESTROY, 0, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int RunThrowing(HINSTANCE instance, bool windowsPath, bool postQuit) {
    if (windowsPath) {
        SetWindowsHookExW(WH_CALLWNDPROCRET, DestroyAfterFailedCreate, nullptr,
                          GetCurrentThreadId());
    }
    CVolMFCApp app([postQuit] { return std::make_unique<ThrowingApp>(postQuit); });
    return app.Run(instance);
}

int RunStreaming(HINSTANCE instance) {
    SimPlatform platform;
    platform.Clock().FollowSystemClock(true);
    SimVolume& c = platform.AddDrive(u'C');
    const auto data = c.MakeDirectory(SimVolume::kRoot, u"data");
    std::atomic<bool> producing{true};
    std::thread producer([&] {
        for (int i = 0; producing; ++i) {
            c.MakeFile(data, u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                                 std::u16string(1, static_cast<char16_t>(u'a' + i / 26 % 26)) +
                                 std::u16string(1, static_cast<char16_t>(u'a' + i / 676 % 26)));
        }
    });
    std::atomic<bool> closing{false};
    const HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread driver([&] {
        HWND window = nullptr;
        while ((window = FindWindowOfProcess(L"VolWinForm", nullptr, GetCurrentProcessId())) ==
               nullptr) {
            Sleep(10);
        }
        const HWND start = GetDlgItem(window, 112);
        const HWND log = GetDlgItem(window, 111);
        PostMessageW(GetDlgItem(window, 108), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"C:\\data"));
        Sleep(100);
        PostMessageW(start, BM_CLICK, 0, 0);
        while (SendMessageTimeoutW(log, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr) &&
               GetWindowTextLengthW(log) < 2000) {
            Sleep(20);
        }
        closing = true;
        PostMessageW(window, WM_CLOSE, 0, 0);
        // The program must have ended within two seconds of the close.
        if (WaitForSingleObject(ended, 2000) == WAIT_TIMEOUT) {
            ExitProcess(3);
        }
    });
    CVolMFCApp app([&platform] { return std::make_unique<MonitorApp>(platform); });
    const int code = app.Run(instance);
    SetEvent(ended);
    driver.join();
    producing = false;
    producer.join();
    CloseHandle(ended);
    return closing ? code : 4;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
    const std::wstring mode = arguments;
    if (mode == L"throw" || mode == L"throw-windows-path" || mode == L"throw-quit-pending") {
        return RunThrowing(instance, mode == L"throw-windows-path", mode == L"throw-quit-pending");
    }
    if (mode == L"stream") {
        return RunStreaming(instance);
    }
    return 2;
}
