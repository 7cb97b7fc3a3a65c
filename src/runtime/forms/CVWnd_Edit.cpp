#include "runtime/forms/CVWnd_Edit.h"

CVWnd_Edit::CVWnd_Edit() : brush_(CreateSolidBrush(RGB(255, 255, 255))) {}

void CVWnd_Edit::SetListener(IEditEventListener* listener) {
    editListener_ = listener;
    SetBaseListener(listener);
}

DWORD CVWnd_Edit::OptionStyles() const {
    DWORD style = 0;
    if (multiLine_) {
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
        if (scrollBars_ == 1 || scrollBars_ == 3) {
            style |= ES_AUTOHSCROLL | WS_HSCROLL;
        }
        if (scrollBars_ == 2 || scrollBars_ == 3) {
            style |= WS_VSCROLL;
        }
    } else {
        style |= ES_AUTOHSCROLL;
    }
    if (inputMode_ == kReadOnly) {
        style |= ES_READONLY;
    } else if (inputMode_ == kPassword) {
        style |= ES_PASSWORD;
    }
    return style;
}

bool CVWnd_Edit::AcceptsChar(wchar_t c) const {
    // Control characters (backspace, the clipboard keys) always pass.
    if (c < 32 || inputMode_ < 3 || inputMode_ > 10) {
        return true;
    }
    if (c >= L'0' && c <= L'9') {
        return true;
    }
    // Mode 5 takes digits only; 4, 9 and 10 take decimals, the others signed integers.
    const bool minus = inputMode_ != 5;
    const bool point = inputMode_ == 4 || inputMode_ == 9 || inputMode_ == 10;
    return (c == L'-' && minus) || (c == L'.' && point);
}

LRESULT CVWnd_Edit::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            // A multi-line edit box would pass Escape on to a dialog parent as a close.
            if (wParam == VK_ESCAPE &&
                (GetWindowLongPtrW(Handle(), GWL_STYLE) & ES_MULTILINE) != 0) {
                return 0;
            }
            break;
        case WM_CHAR:
            if (!AcceptsChar(static_cast<wchar_t>(wParam))) {
                MessageBeep(MB_ICONEXCLAMATION);
                return 0;
            }
            break;
        default:
            break;
    }
    return CVWnd::OnMessage(message, wParam, lParam);
}

bool CVWnd_Edit::OnReflectedCommand(UINT code) {
    if (code != EN_CHANGE || editListener_ == nullptr) {
        return false;
    }
    editListener_->OnTextChanged();
    return true;
}

HBRUSH CVWnd_Edit::OnReflectedCtlColor(UINT /*message*/, HDC dc) {
    SetTextColor(dc, textColour_);
    SetBkColor(dc, backColour_);
    return brush_.Get();
}
