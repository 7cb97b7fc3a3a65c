#pragma once

#include "runtime/forms/IBaseEventListener.h"

// The notifications of a push button or check box that become its events.
class IButtonEventListener : public IBaseEventListener {
public:
    // [1] BN_CLICKED, reflected to the button by its parent.
    virtual void OnClicked() = 0;

protected:
    ~IButtonEventListener() = default;
};
