#pragma once

#include "runtime/forms/CVWnd.h"
#include "runtime/forms/ILabelEventListener.h"
#include "runtime/forms/SystemColour.h"
#include "runtime/win32/ScopedResource.h"

// The native window object of a label (class "VolLabel"): draws its background and its
// window text itself, in its own copy of the font it is given.
class CVWnd_Label : public CVWnd {
public:
    enum HorizontalAlignment { kLeft = 0, kCentre = 1, kRight = 2 };
    enum VerticalAlignment { kTop = 0, kMiddle = 1, kBottom = 2 };

    void SetListener(ILabelEventListener* listener);

    COLORREF TextColour() const { return textColour_; }
    void SetTextColour(COLORREF colour) { textColour_ = colour; }
    COLORREF BackColour() const { return backColour_; }
    void SetBackColour(COLORREF colour) { backColour_ = colour; }
    int HorizontalAlign() const { return horizontal_; }
    void SetHorizontalAlign(int alignment) { horizontal_ = alignment; }
    int VerticalAlign() const { return vertical_; }
    void SetVerticalAlign(int alignment) { vertical_ = alignment; }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool wrap) { wordWrap_ = wrap; }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent) { transparent_ = transparent; }

    // The DrawText flags of the current options.
    UINT TextFormat() const;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(HDC dc, const RECT& area) const;
    void CopyFont(HFONT font);

    ILabelEventListener* labelListener_ = nullptr;
    COLORREF textColour_ = kSystemColour;
    COLORREF backColour_ = kSystemColour;
    int horizontal_ = kLeft;
    int vertical_ = kMiddle;
    bool wordWrap_ = false;
    bool transparent_ = false;
    ScopedFont font_;
};
