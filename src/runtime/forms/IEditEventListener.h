#pragma once

#include "runtime/forms/IBaseEventListener.h"

// The notifications of an edit box that become its events.
class IEditEventListener : public IBaseEventListener {
public:
    // [1] EN_CHANGE, reflected to the edit box by its parent.
    virtual void OnTextChanged() = 0;

protected:
    ~IEditEventListener() = default;
};
