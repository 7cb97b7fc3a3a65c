#include "runtime/forms/CVolWinCheckBox.h"

void CVolWinCheckBox::SetChecked(bool checked) {
    if (const HWND window = Handle(); window != nullptr) {
        SendMessageW(window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

bool CVolWinCheckBox::IsChecked() const {
    return Handle() != nullptr && SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
