#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "app/CVolUserApp.h"

// The application frame: start-up, the message loop with its pre-translation and idle
// steps, and shut-down. One per process; Run answers the process exit code.
//
// Start-up: OLE and the common controls, per-monitor DPI awareness and DisplayScale, then
// the user application (which constructs the main window's object) and, inside the error
// guard, the main window itself, centred on the screen. The loop runs until the main
// window is gone; the exit step destroys the user application, which ends every watch.
class CVolMFCApp {
public:
    using UserAppFactory = std::function<std::unique_ptr<CVolUserApp>()>;

    explicit CVolMFCApp(UserAppFactory makeUserApp);
    CVolMFCApp(const CVolMFCApp&) = delete;
    CVolMFCApp& operator=(const CVolMFCApp&) = delete;
    ~CVolMFCApp();

    int Run(HINSTANCE instance);

    // The process-wide values the frame sets.
    static HINSTANCE Instance() { return instance_; }
    static CVolUserApp* CurrentUserApp() { return currentUserApp_; }

private:
    bool InitInstance();
    int MessageLoop();
    bool PreTranslate(MSG& message);
    bool OnIdle(long count);
    int ExitInstance(int quitCode);

    UserAppFactory makeUserApp_;
    std::unique_ptr<CVolUserApp> userApp_;
    DWORD quietSince_ = 0;
    bool oleInitialised_ = false;
    bool comInitialised_ = false;

    static HINSTANCE instance_;
    static CVolUserApp* currentUserApp_;
};
