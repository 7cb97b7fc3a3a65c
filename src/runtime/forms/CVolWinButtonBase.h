#pragma once

#include "runtime/forms/CVWnd_Button.h"
#include "runtime/forms/CVolWinControl.h"
#include "runtime/forms/IButtonEventListener.h"

// What push buttons and check boxes share: a "BUTTON" window, its colours and the click.
class CVolWinButtonBase : public CVolWinControl, public IButtonEventListener {
public:
    ~CVolWinButtonBase() override;

    COLORREF TextColour() const { return NativeAs<CVWnd_Button>().TextColour(); }
    void SetTextColour(COLORREF colour);
    COLORREF BackColour() const { return NativeAs<CVWnd_Button>().BackColour(); }
    void SetBackColour(COLORREF colour);

    // BN_CLICKED, on the window's thread; a check box has changed its state before.
    EventSlot<> Clicked;

    // IButtonEventListener
    int OnWindowMessage(WindowMessage& message) override;
    void OnClicked() override;

protected:
    // The kind's button styles are added to the holder's.
    explicit CVolWinButtonBase(DWORD buttonStyles);

    void ConnectListener(bool attach) override;
    bool CreateKindWindow(ControlCreateInfo& info) override;
};
