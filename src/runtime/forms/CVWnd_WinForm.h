#pragma once

#include "runtime/forms/CVWnd_Container.h"
#include "runtime/forms/IWinFormEventListener.h"
#include "runtime/win32/ScopedResource.h"

// The native window object of a form (class "VolWinForm"): a container that also answers
// the message loop's pre-translation, asks before it closes, reports its activation and
// owns its icons.
class CVWnd_WinForm : public CVWnd_Container {
public:
    void SetListener(IWinFormEventListener* listener);
    // Keeps the icons the window shows; they live as long as this object.
    void KeepIcons(ScopedIcon big, ScopedIcon small);

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose();
    LRESULT OnActivateMessage(WPARAM wParam, LPARAM lParam);

    IWinFormEventListener* formListener_ = nullptr;
    ScopedIcon bigIcon_;
    ScopedIcon smallIcon_;
    bool activatedBefore_ = false;
    bool inActivation_ = false;
    HWND lastFocus_ = nullptr;
};
