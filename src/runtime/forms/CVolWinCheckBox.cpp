#include "runtime/forms/CVolWinCheckBox.h"

#include "runtime/forms/CVWnd_Button.h"

void CVolWinCheckBox::SetChecked(bool checked) {
    if (const HWND window = Handle(); window != nullptr) {
        SendMessageW(window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

bool CVolWinCheckBox::IsChecked() const {
    return NativeAs<CVWnd_Button>().CheckState() == BST_CHECKED;
}
