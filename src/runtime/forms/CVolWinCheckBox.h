#pragma once

#include "runtime/forms/CVolWinButtonBase.h"

// A check box that ticks and clears itself when clicked, before Clicked is raised.
class CVolWinCheckBox : public CVolWinButtonBase {
public:
    CVolWinCheckBox() : CVolWinButtonBase(WS_TABSTOP | BS_MULTILINE | BS_AUTOCHECKBOX) {}

    // Ticks (or clears) the box; without a window there is nothing to tick.
    void SetChecked(bool checked = true);
    // Whether the box is ticked; a missing window reads not ticked. Reads the state as the
    // window's thread last saw it, so a handler on another thread may ask without waiting
    // for that thread.
    bool IsChecked() const;
};
