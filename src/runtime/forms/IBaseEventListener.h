#pragma once

#include "runtime/forms/WindowMessage.h"

// What a native window tells the control that owns it. A control attaches its listener to
// its native window once one of its events is bound; a window without a listener runs
// without calling one. The operations are declared in their slot order.
class IBaseEventListener {
public:
    // [0] Every message of the window except WM_SETFOCUS and WM_KILLFOCUS. Non-zero ends
    // the processing with message.result; otherwise it goes on with message.wParam and
    // message.lParam, which the listener may have changed.
    virtual int OnWindowMessage(WindowMessage& message) = 0;

protected:
    ~IBaseEventListener() = default;
};
