#include "runtime/forms/CMfcWndObject.h"

#include <utility>

#include "runtime/forms/ControlFont.h"

CMfcWndObject::CMfcWndObject(std::unique_ptr<CVWnd> window) : window_(std::move(window)) {
    window_->SetKeeper(this);
}

HFONT CMfcWndObject::EnsureFont() {
    if (!font_) {
        font_ = CreateControlFont();
    }
    return font_.Get();
}

ScopedFont CMfcWndObject::ReplaceFont(ScopedFont font) {
    std::swap(font_, font);
    return font;
}

void CMfcWndObject::LastRelease() {
    // The messages of the destruction must not take references to a holder on its way out.
    window_->SetKeeper(nullptr);
    if (const HWND window = window_->Handle(); window != nullptr) {
        DestroyWindow(window);
    }
}
