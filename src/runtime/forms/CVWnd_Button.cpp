#include "runtime/forms/CVWnd_Button.h"

CVWnd_Button::CVWnd_Button() {
    SetBackColour(kSystemColour);
}

void CVWnd_Button::SetListener(IButtonEventListener* listener) {
    buttonListener_ = listener;
    SetBaseListener(listener);
}

void CVWnd_Button::SetBackColour(COLORREF colour) {
    backColour_ = colour;
    brush_.Reset(CreateSolidBrush(ResolveColour(colour, COLOR_BTNFACE)));
}

LRESULT CVWnd_Button::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOLORCHANGE && backColour_ == kSystemColour) {
        SetBackColour(kSystemColour);  // a brush of the new button face
        InvalidateRect(Handle(), nullptr, TRUE);
    }
    // Everything but a plain push button (check boxes, radio buttons, group boxes) gets the
    // background colour behind its text.
    if (message == WM_ERASEBKGND && (GetWindowLongPtrW(Handle(), GWL_STYLE) & 7) != 0) {
        RECT client;
        GetClientRect(Handle(), &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush_.Get());
    }
    return CVWnd::OnMessage(message, wParam, lParam);
}

bool CVWnd_Button::OnReflectedCommand(UINT code) {
    if (code != BN_CLICKED || buttonListener_ == nullptr) {
        return false;
    }
    buttonListener_->OnClicked();
    return true;
}

HBRUSH CVWnd_Button::OnReflectedCtlColor(UINT /*message*/, HDC dc) {
    SetTextColor(dc, ResolveColour(textColour_, COLOR_BTNTEXT));
    SetBkColor(dc, ResolveColour(backColour_, COLOR_BTNFACE));
    return brush_.Get();
}
