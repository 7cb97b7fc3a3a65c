#include "app/CVolMFCApp.h"

#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>

#include <utility>

#include "app/UnhandledErrorGuard.h"
#include "runtime/forms/DisplayScale.h"
#include "runtime/forms/PreTranslateThroughWindows.h"
#include "runtime/win32/ScopedResource.h"

HINSTANCE CVolMFCApp::instance_ = nullptr;
CVolUserApp* CVolMFCApp::currentUserApp_ = nullptr;

namespace {

// SHCore.dll's calls, looked up at run time: older systems do not have them.
class ShcoreLibrary {
public:
    ShcoreLibrary() : module_(LoadLibraryW(L"SHCore.dll")) {}

    template <typename Function>
    Function Find(const char* name) const {
        return !module_ ? nullptr
                        : reinterpret_cast<Function>(
                              reinterpret_cast<void*>(GetProcAddress(module_.Get(), name)));
    }

private:
    ScopedModule module_;
};

void BecomePerMonitorDpiAware() {
    using SetAwareness = HRESULT(WINAPI*)(int);
    const ShcoreLibrary shcore;
    if (const auto set = shcore.Find<SetAwareness>("SetProcessDpiAwareness")) {
        set(2);  // PROCESS_PER_MONITOR_DPI_AWARE
    }
}

double ReadDisplayScale() {
    using GetDpi = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    UINT dpi = 0;
    {
        const ShcoreLibrary shcore;
        if (const auto get = shcore.Find<GetDpi>("GetDpiForMonitor")) {
            UINT dpiX = 0;
            get(MonitorFromWindow(GetDesktopWindow(), MONITOR_DEFAULTTONEAREST),
                0 /* MDT_EFFECTIVE_DPI */, &dpiX, &dpi);
        }
    }
    if (dpi == 0) {
        if (const ScopedScreenDc screen(GetDC(nullptr)); screen) {
            dpi = static_cast<UINT>(GetDeviceCaps(screen.Get(), LOGPIXELSY));
        }
    }
    return ScaleOfDotsPerInch(dpi);
}

}  // namespace

CVolMFCApp::CVolMFCApp(UserAppFactory makeUserApp) : makeUserApp_(std::move(makeUserApp)) {}

CVolMFCApp::~CVolMFCApp() {
    userApp_.reset();
    currentUserApp_ = nullptr;
    if (comInitialised_) {
        CoUninitialize();
    }
    if (oleInitialised_) {
        OleUninitialize();
    }
}

int CVolMFCApp::Run(HINSTANCE instance) {
    instance_ = instance;
    if (!InitInstance()) {
        return ExitInstance(0);
    }
    return ExitInstance(MessageLoop());
}

bool CVolMFCApp::InitInstance() {
    // A drive without media must answer a look at it with an error, not with the system's
    // "no disk" box in front of the window.
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS);
    oleInitialised_ = SUCCEEDED(OleInitialize(nullptr));
    INITCOMMONCONTROLSEX controls{8, 0xFF};
    InitCommonControlsEx(&controls);
    comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    BecomePerMonitorDpiAware();
    DisplayScale = ReadDisplayScale();

    userApp_ = makeUserApp_();
    currentUserApp_ = userApp_.get();
    CVolWinForm& mainWindow = userApp_->MainWindow();
    RunGuarded([&] {
        // Only a window that exists becomes the main one: on Windows a failed creation
        // destroys the window, and the main window's destruction posts the quit message.
        if (mainWindow.CreateTopLevel()) {
            mainWindow.SetPostQuitOnDestroy(true);
        }
    });
    return mainWindow.Handle() != nullptr;
}

int CVolMFCApp::MessageLoop() {
    MSG message{};
    long idleCount = 0;
    for (;;) {
        while (!PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++)) {
                break;
            }
        }
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            return got == 0 ? static_cast<int>(message.wParam) : 0;
        }
        idleCount = 0;
        if (!PreTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

bool CVolMFCApp::PreTranslate(MSG& message) {
    if (currentUserApp_ != nullptr && currentUserApp_->PreTranslateHook(message) == 0) {
        return true;
    }
    return PreTranslateThroughWindows(message);
}

bool CVolMFCApp::OnIdle(long count) {
    if (count == 0) {
        quietSince_ = GetTickCount();
    }
    if (count < 2 || currentUserApp_ == nullptr) {
        return count < 2;  // the frame's own idle work takes the first calls
    }
    return currentUserApp_->IdleHook(GetTickCount() - quietSince_) != 0;
}

int CVolMFCApp::ExitInstance(int quitCode) {
    if (currentUserApp_ != nullptr) {
        currentUserApp_->ExitHook();
    }
    userApp_.reset();  // the main window's object: its watches end here
    currentUserApp_ = nullptr;
    return quitCode;
}
