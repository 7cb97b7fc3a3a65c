#pragma once

#include <windows.h>

#include "runtime/forms/IContainerEventListener.h"

// The messages of a form that become its events and hooks.
class IWinFormEventListener : public IContainerEventListener {
public:
    // [8] A message about to be dispatched to the form or one of its children, offered by
    // the message loop; true when the form consumed it.
    virtual bool OnPreTranslateMessage(MSG& message) = 0;
    // [9] May the form go away (WM_CLOSE after the close query, WM_QUERYENDSESSION)?
    virtual bool OnQueryMayGoAway() = 0;
    // [10] May the form close (WM_CLOSE)?
    virtual bool OnQueryClose() = 0;
    // [11] The first activation of the form, before [12].
    virtual void OnFirstActivate() = 0;
    // [12] WM_ACTIVATE: activated.
    virtual void OnActivate() = 0;
    // [13] WM_ACTIVATE: deactivated.
    virtual void OnDeactivate() = 0;
    // [14] A message of the form's notification-area icon: left button up 1, double click
    // 2, right button up or context menu 3.
    virtual void OnNotifyIconMessage(int kind) = 0;
    // [15] WM_MENUSELECT: the item id.
    virtual void OnMenuSelect(UINT itemId) = 0;
    // [16] WM_GETMINMAXINFO, with the minimum tracking size preset to 1 x 1.
    virtual void OnGetMinMaxInfo(MINMAXINFO& info) = 0;

protected:
    ~IWinFormEventListener() = default;
};
