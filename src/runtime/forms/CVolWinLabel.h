#pragma once

#include "runtime/forms/CVWnd_Label.h"
#include "runtime/forms/CVolWinControl.h"
#include "runtime/forms/ILabelEventListener.h"

// A text on the form's background, drawn by the runtime (class "VolLabel"): by default one
// line, left-aligned and vertically centred, window text on button face. Not a tab stop.
class CVolWinLabel : public CVolWinControl, public ILabelEventListener {
public:
    CVolWinLabel();
    ~CVolWinLabel() override;

    // 0 left, 1 centre, 2 right.
    int HorizontalAlign() const { return NativeAs<CVWnd_Label>().HorizontalAlign(); }
    void SetHorizontalAlign(int alignment);
    // 0 top, 1 centre, 2 bottom; not used with word wrap, which centres.
    int VerticalAlign() const { return NativeAs<CVWnd_Label>().VerticalAlign(); }
    void SetVerticalAlign(int alignment);
    bool WordWrap() const { return NativeAs<CVWnd_Label>().WordWrap(); }
    void SetWordWrap(bool wrap);
    bool Transparent() const { return NativeAs<CVWnd_Label>().Transparent(); }
    void SetTransparent(bool transparent);
    // kSystemColour follows window text and button face.
    COLORREF TextColour() const { return NativeAs<CVWnd_Label>().TextColour(); }
    void SetTextColour(COLORREF colour);
    COLORREF BackColour() const { return NativeAs<CVWnd_Label>().BackColour(); }
    void SetBackColour(COLORREF colour);

    // The label's own message (kMsgLabel): (wParam, lParam); the handler's result is the
    // message's.
    EventSlot<WPARAM, LPARAM> LabelMessage;

    // ILabelEventListener
    int OnWindowMessage(WindowMessage& message) override;
    LRESULT OnLabelMessage(WPARAM wParam, LPARAM lParam) override;

protected:
    void ConnectListener(bool attach) override;
    bool CreateKindWindow(ControlCreateInfo& info) override;

private:
    void Repaint() const;
};
