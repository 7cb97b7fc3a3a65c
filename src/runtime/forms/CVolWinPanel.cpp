#include "runtime/forms/CVolWinPanel.h"

#include "runtime/forms/RuntimeMessages.h"

CVolWinPanel::CVolWinPanel() : CVolWinPanel(std::make_unique<CVWnd_Container>()) {}

CVolWinPanel::CVolWinPanel(std::unique_ptr<CVWnd_Container> window)
    : CVolWinContainer(std::move(window)) {}

CVolWinPanel::~CVolWinPanel() {
    DetachListener();
}

COLORREF CVolWinPanel::BackColour() const {
    return NativeAs<CVWnd_Container>().BackColour();
}

void CVolWinPanel::SetBackColour(COLORREF colour) {
    NativeAs<CVWnd_Container>().SetBackColour(colour);
    if (Handle() != nullptr) {
        InvalidateRect(Handle(), nullptr, TRUE);
    }
}

bool CVolWinPanel::Transparent() const {
    return NativeAs<CVWnd_Container>().Transparent();
}

void CVolWinPanel::SetTransparent(bool transparent) {
    NativeAs<CVWnd_Container>().SetTransparent(transparent);
}

void CVolWinPanel::ConnectListener(bool attach) {
    NativeAs<CVWnd_Container>().SetListener(attach ? this : nullptr);
}

// Width and height left to the default come from the designed client size, grown by the
// frame the window's styles give it; nothing sensible to make gives 0 x 0.
void CVolWinPanel::SettleSize(ControlCreateInfo& info) {
    if (info.width != ControlCreateInfo::kDefault && info.height != ControlCreateInfo::kDefault) {
        return;
    }
    RECT rect{0, 0, ClientWidth(), ClientHeight()};
    if (rect.right <= 0 || rect.bottom <= 0 ||
        !AdjustWindowRectEx(&rect, info.style, info.menu != nullptr ? TRUE : FALSE, info.exStyle)) {
        info.width = 0;
        info.height = 0;
        return;
    }
    info.width = rect.right - rect.left;
    info.height = rect.bottom - rect.top;
}

bool CVolWinPanel::CreateKindWindow(ControlCreateInfo& info) {
    // The children are created on WM_CREATE, which the listener carries.
    AttachListener();
    info.style &= ~static_cast<DWORD>(WS_TABSTOP);
    if (Transparent()) {
        info.exStyle |= WS_EX_TRANSPARENT;
    }
    if (!NativeWindow().CreateOwnClassWindow(L"VolContainer", info)) {
        return false;
    }
    SetWindowLongPtrW(Handle(), GWLP_USERDATA, kWindowMarker);
    return true;
}

int CVolWinPanel::OnWindowMessage(WindowMessage& /*message*/) {
    return 0;
}

void CVolWinPanel::OnWindowCreate() {
    CreateChildren();
    WindowCreated.Raise(EventSource());
}

void CVolWinPanel::OnWindowDestroy() {
    Destroyed.Raise(EventSource());
}

void CVolWinPanel::OnWindowSize(UINT /*sizeType*/, int width, int height) {
    Resized.Raise(EventSource(), width, height);
}

void CVolWinPanel::OnWindowShow(bool shown) {
    if (shown) {
        Shown.Raise(EventSource(), 1);
    } else {
        Hidden.Raise(EventSource(), 0);
    }
}

void CVolWinPanel::OnWindowMove(int x, int y) {
    Moved.Raise(EventSource(), x, y);
}
