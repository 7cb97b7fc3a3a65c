#pragma once

#include "runtime/forms/CVWnd.h"
#include "runtime/forms/IEditEventListener.h"
#include "runtime/win32/ScopedResource.h"

// The native window object of an edit box: a subclassed "EDIT" whose parent reflects its
// change notifications and colour requests to it. It holds the edit box's options until
// the window is created from them.
class CVWnd_Edit : public CVWnd {
public:
    // Input modes: 0 normal, 1 read-only, 2 password, 3 to 10 numeric.
    static constexpr int kNormal = 0;
    static constexpr int kReadOnly = 1;
    static constexpr int kPassword = 2;
    // Scroll-bar modes: 0 none, 1 horizontal, 2 vertical, 3 both.
    static constexpr int kScrollBoth = 3;

    CVWnd_Edit();

    void SetListener(IEditEventListener* listener);

    int TextLimit() const { return textLimit_; }
    void SetTextLimit(int limit) { textLimit_ = limit; }
    bool MultiLine() const { return multiLine_; }
    void SetMultiLine(bool multiLine) { multiLine_ = multiLine; }
    int ScrollBars() const { return scrollBars_; }
    void SetScrollBars(int mode) { scrollBars_ = mode; }
    int InputMode() const { return inputMode_; }
    void SetInputMode(int mode) { inputMode_ = mode; }
    wchar_t PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(wchar_t c) { passwordChar_ = c; }
    COLORREF TextColour() const { return textColour_; }
    COLORREF BackColour() const { return backColour_; }
    HBRUSH BackBrush() const { return brush_.Get(); }

    // The styles the options add to the window's.
    DWORD OptionStyles() const;
    // Whether a typed character passes the input mode.
    bool AcceptsChar(wchar_t c) const;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnReflectedCommand(UINT code) override;
    HBRUSH OnReflectedCtlColor(UINT message, HDC dc) override;

private:
    IEditEventListener* editListener_ = nullptr;
    int textLimit_ = 0;
    bool multiLine_ = false;
    int scrollBars_ = 0;
    int inputMode_ = kNormal;
    wchar_t passwordChar_ = L'*';
    COLORREF textColour_ = RGB(0, 0, 0);
    COLORREF backColour_ = RGB(255, 255, 255);
    ScopedBrush brush_;
};
