#include "runtime/forms/CVolWinButtonBase.h"

CVolWinButtonBase::CVolWinButtonBase(DWORD buttonStyles)
    : CVolWinControl(std::make_unique<CVWnd_Button>()) {
    Holder().SetStyle(Holder().Style() | buttonStyles);
}

CVolWinButtonBase::~CVolWinButtonBase() {
    DetachListener();
}

void CVolWinButtonBase::SetTextColour(COLORREF colour) {
    NativeAs<CVWnd_Button>().SetTextColour(colour);
    if (Handle() != nullptr) {
        InvalidateRect(Handle(), nullptr, TRUE);
    }
}

void CVolWinButtonBase::SetBackColour(COLORREF colour) {
    NativeAs<CVWnd_Button>().SetBackColour(colour);
    if (Handle() != nullptr) {
        InvalidateRect(Handle(), nullptr, TRUE);
    }
}

void CVolWinButtonBase::ConnectListener(bool attach) {
    NativeAs<CVWnd_Button>().SetListener(attach ? this : nullptr);
}

bool CVolWinButtonBase::CreateKindWindow(ControlCreateInfo& info) {
    if (!NativeWindow().CreateStandardWindow(L"BUTTON", info)) {
        return false;
    }
    NativeAs<CVWnd_Button>().NoteCheckState();  // a new window's, not a former one's
    return true;
}

int CVolWinButtonBase::OnWindowMessage(WindowMessage& /*message*/) {
    return 0;
}

void CVolWinButtonBase::OnClicked() {
    Clicked.Raise(EventSource());
}
