#include "runtime/forms/CVolWinEdit.h"

CVolWinEdit::CVolWinEdit() : CVolWinControl(std::make_unique<CVWnd_Edit>()) {
    Holder().SetStyle(Holder().Style() | WS_TABSTOP);
    Holder().SetExStyle(Holder().ExStyle() | WS_EX_CLIENTEDGE);
}

CVolWinEdit::~CVolWinEdit() {
    DetachListener();
}

void CVolWinEdit::SetTextLimit(int limit) {
    NativeAs<CVWnd_Edit>().SetTextLimit(limit);
    if (Handle() != nullptr) {
        SendMessageW(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    }
}

void CVolWinEdit::ConnectListener(bool attach) {
    NativeAs<CVWnd_Edit>().SetListener(attach ? this : nullptr);
}

bool CVolWinEdit::CreateKindWindow(ControlCreateInfo& info) {
    const CVWnd_Edit& edit = NativeAs<CVWnd_Edit>();
    info.style |= edit.OptionStyles();
    if (!NativeWindow().CreateStandardWindow(L"EDIT", info)) {
        return false;
    }
    SendMessageW(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(edit.TextLimit()), 0);
    if (edit.InputMode() == CVWnd_Edit::kPassword) {
        SendMessageW(Handle(), EM_SETPASSWORDCHAR, edit.PasswordChar(), 0);
    }
    return true;
}

int CVolWinEdit::OnWindowMessage(WindowMessage& /*message*/) {
    return 0;
}

void CVolWinEdit::OnTextChanged() {
    TextChanged.Raise(EventSource());
}
