#pragma once

#include "runtime/forms/CVWnd_Edit.h"
#include "runtime/forms/CVolWinControl.h"
#include "runtime/forms/IEditEventListener.h"

// An edit box ("EDIT"): black text on white, a tab stop with a sunken edge. The options
// are set before creation and choose its styles.
class CVolWinEdit : public CVolWinControl, public IEditEventListener {
public:
    CVolWinEdit();
    ~CVolWinEdit() override;

    // Several lines, with Enter starting a new one; Escape does nothing there.
    bool MultiLine() const { return NativeAs<CVWnd_Edit>().MultiLine(); }
    void SetMultiLine(bool multiLine) { NativeAs<CVWnd_Edit>().SetMultiLine(multiLine); }
    // Multi-line scroll bars: 0 none, 1 horizontal, 2 vertical, 3 both.
    int ScrollBars() const { return NativeAs<CVWnd_Edit>().ScrollBars(); }
    void SetScrollBars(int mode) { NativeAs<CVWnd_Edit>().SetScrollBars(mode); }
    // 0 normal, 1 read-only, 2 password, 3 to 10 numeric (digits; 3 and 6 to 8 also "-";
    // 4, 9 and 10 also "-" and "."). A refused character beeps.
    int InputMode() const { return NativeAs<CVWnd_Edit>().InputMode(); }
    void SetInputMode(int mode) { NativeAs<CVWnd_Edit>().SetInputMode(mode); }
    // The most characters the box takes; 0 for the platform's maximum.
    int TextLimit() const { return NativeAs<CVWnd_Edit>().TextLimit(); }
    void SetTextLimit(int limit);
    wchar_t PasswordChar() const { return NativeAs<CVWnd_Edit>().PasswordChar(); }
    void SetPasswordChar(wchar_t c) { NativeAs<CVWnd_Edit>().SetPasswordChar(c); }

    // EN_CHANGE, on the window's thread.
    EventSlot<> TextChanged;

    // IEditEventListener
    int OnWindowMessage(WindowMessage& message) override;
    void OnTextChanged() override;

protected:
    void ConnectListener(bool attach) override;
    bool CreateKindWindow(ControlCreateInfo& info) override;
};
