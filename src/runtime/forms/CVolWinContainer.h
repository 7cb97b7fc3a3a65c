#pragma once

#include "runtime/forms/CVolWinControl.h"

// A control whose window holds other controls' windows.
class CVolWinContainer : public CVolWinControl {
protected:
    using CVolWinControl::CVolWinControl;
};
