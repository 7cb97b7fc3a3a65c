#pragma once

#include <windows.h>

#include "runtime/forms/CVolWinForm.h"

// The system's application object as the frame sees it: the main window it shows, and
// the hooks the frame forwards to it. The defaults let every message pass, ask for no more
// idle time and do nothing at exit.
class CVolUserApp {
public:
    virtual ~CVolUserApp() = default;

    virtual CVolWinForm& MainWindow() = 0;
    // 0 consumes the message.
    virtual int PreTranslateHook(MSG& /*message*/) { return 1; }
    // Whether more idle calls are wanted, given the milliseconds of the quiet period.
    virtual int IdleHook(DWORD /*quietMilliseconds*/) { return 0; }
    virtual void ExitHook() {}
};
