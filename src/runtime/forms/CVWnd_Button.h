#pragma once

#include "runtime/forms/CVWnd.h"
#include "runtime/forms/IButtonEventListener.h"
#include "runtime/win32/ScopedResource.h"
#include "runtime/forms/SystemColour.h"

// The native window object of a push button or check box: a subclassed "BUTTON" whose
// parent reflects its clicks and colour requests to it.
class CVWnd_Button : public CVWnd {
public:
    CVWnd_Button();

    void SetListener(IButtonEventListener* listener);

    COLORREF TextColour() const { return textColour_; }
    void SetTextColour(COLORREF colour) { textColour_ = colour; }
    COLORREF BackColour() const { return backColour_; }
    void SetBackColour(COLORREF colour);
    HBRUSH BackBrush() const { return brush_.Get(); }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnReflectedCommand(UINT code) override;
    HBRUSH OnReflectedCtlColor(UINT message, HDC dc) override;

private:
    IButtonEventListener* buttonListener_ = nullptr;
    COLORREF textColour_ = 0;
    COLORREF backColour_ = kSystemColour;
    ScopedBrush brush_;
};
