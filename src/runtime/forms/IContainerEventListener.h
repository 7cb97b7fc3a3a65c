#pragma once

#include <windows.h>

#include "runtime/forms/IBaseEventListener.h"

// The messages of a panel or form that become its events.
class IContainerEventListener : public IBaseEventListener {
public:
    // [1] WM_CREATE: the children are created, then the created event is raised.
    virtual void OnWindowCreate() = 0;
    // [2] WM_DESTROY.
    virtual void OnWindowDestroy() = 0;
    // [4] WM_SIZE: the kind of sizing and the new client size.
    virtual void OnWindowSize(UINT sizeType, int width, int height) = 0;
    // [5] WM_SHOWWINDOW: shown when the flag is set, else hidden.
    virtual void OnWindowShow(bool shown) = 0;
    // [6] WM_MOVE: the new position of the client area.
    virtual void OnWindowMove(int x, int y) = 0;

protected:
    ~IContainerEventListener() = default;
};
