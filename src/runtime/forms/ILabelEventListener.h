#pragma once

#include <windows.h>

#include "runtime/forms/IBaseEventListener.h"

// The messages of a label that become its events.
class ILabelEventListener : public IBaseEventListener {
public:
    // [1] The label's own message (kMsgLabel): answers the message's result.
    virtual LRESULT OnLabelMessage(WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~ILabelEventListener() = default;
};
