#include "runtime/forms/CVWnd_Button.h"

CVWnd_Button::CVWnd_Button() {
    SetBackColour(kSystemColour);
}

void CVWnd_Button::SetListener(IButtonEventListener* listener) {
    buttonListener_ = listener;
    SetBaseListener(listener);
}

void CVWnd_Button::NoteCheckState() {
    const HWND window = Handle();
    checkState_.store(
        window != nullptr ? static_cast<int>(DefaultProcessing(BM_GETCHECK, 0, 0)) : BST_UNCHECKED,
        std::memory_order_release);
}

void CVWnd_Button::SetBackColour(COLORREF colour) {
    backColour_ = colour;
    brush_.Reset(CreateSolidBrush(ResolveColour(colour, COLOR_BTNFACE)));
}

LRESULT CVWnd_Button::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BM_SETCHECK) {
        const LRESULT result = CVWnd::OnMessage(message, wParam, lParam);
        NoteCheckState();
        return result;
    }
    if (message == WM_NCDESTROY) {
        checkState_.store(BST_UNCHECKED, std::memory_order_release);  // no window: not ticked
    }
    if (message == WM_SYSCOLORCHANGE) {
        if (backColour_ == kSystemColour) {
            SetBackColour(kSystemColour);  // a brush of the new button face
        }
        if (backColour_ == kSystemColour || textColour_ == kSystemColour) {
            InvalidateRect(Handle(), nullptr, TRUE);
        }
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
    if (code == BN_CLICKED) {
        NoteCheckState();  // a check box has changed its state before it tells of the click
    }
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
