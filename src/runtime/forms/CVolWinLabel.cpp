#include "runtime/forms/CVolWinLabel.h"

CVolWinLabel::CVolWinLabel() : CVolWinControl(std::make_unique<CVWnd_Label>()) {
    Holder().SetStyle(Holder().Style() & ~static_cast<DWORD>(WS_BORDER));
}

CVolWinLabel::~CVolWinLabel() {
    DetachListener();
}

void CVolWinLabel::Repaint() const {
    if (Handle() != nullptr) {
        InvalidateRect(Handle(), nullptr, TRUE);
    }
}

void CVolWinLabel::SetHorizontalAlign(int alignment) {
    NativeAs<CVWnd_Label>().SetHorizontalAlign(alignment);
    Repaint();
}

void CVolWinLabel::SetVerticalAlign(int alignment) {
    NativeAs<CVWnd_Label>().SetVerticalAlign(alignment);
    Repaint();
}

void CVolWinLabel::SetWordWrap(bool wrap) {
    NativeAs<CVWnd_Label>().SetWordWrap(wrap);
    Repaint();
}

void CVolWinLabel::SetTransparent(bool transparent) {
    NativeAs<CVWnd_Label>().SetTransparent(transparent);
    Repaint();
}

void CVolWinLabel::SetTextColour(COLORREF colour) {
    NativeAs<CVWnd_Label>().SetTextColour(colour);
    Repaint();
}

void CVolWinLabel::SetBackColour(COLORREF colour) {
    NativeAs<CVWnd_Label>().SetBackColour(colour);
    Repaint();
}

void CVolWinLabel::ConnectListener(bool attach) {
    NativeAs<CVWnd_Label>().SetListener(attach ? this : nullptr);
}

bool CVolWinLabel::CreateKindWindow(ControlCreateInfo& info) {
    info.style &= ~static_cast<DWORD>(WS_TABSTOP);
    if (Transparent()) {
        info.exStyle |= WS_EX_TRANSPARENT;
    }
    return NativeWindow().CreateOwnClassWindow(L"VolLabel", info);
}

int CVolWinLabel::OnWindowMessage(WindowMessage& /*message*/) {
    return 0;
}

LRESULT CVolWinLabel::OnLabelMessage(WPARAM wParam, LPARAM lParam) {
    return LabelMessage.Raise(EventSource(), wParam, lParam);
}
