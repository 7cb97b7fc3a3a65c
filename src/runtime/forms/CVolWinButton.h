#pragma once

#include "runtime/forms/CVolWinButtonBase.h"

// A push button: a tab stop whose caption may take several lines.
class CVolWinButton : public CVolWinButtonBase {
public:
    CVolWinButton() : CVolWinButtonBase(WS_TABSTOP | BS_MULTILINE | BS_PUSHBUTTON) {}
};
