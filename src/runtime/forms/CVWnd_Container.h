#pragma once

#include "runtime/forms/CVWnd.h"
#include "runtime/forms/IContainerEventListener.h"
#include "runtime/forms/SystemColour.h"

// The native window object of a panel (class "VolContainer") and the base of a form's. It
// paints its background and turns its creation, destruction, sizing, showing and moving
// into the container listener's operations.
class CVWnd_Container : public CVWnd {
public:
    void SetListener(IContainerEventListener* listener);

    COLORREF BackColour() const { return backColour_; }
    void SetBackColour(COLORREF colour) { backColour_ = colour; }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent) { transparent_ = transparent; }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void PaintBackground(HDC dc, const RECT& area) const;

    IContainerEventListener* containerListener_ = nullptr;
    COLORREF backColour_ = kSystemColour;
    bool transparent_ = false;
    HFONT font_ = nullptr;  // the holder's
};
