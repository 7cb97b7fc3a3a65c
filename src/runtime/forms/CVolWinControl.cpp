#include "runtime/forms/CVolWinControl.h"

#include <utility>
#include <vector>

#include "runtime/forms/CVolWinContainer.h"
#include "runtime/forms/ControlFont.h"
#include "runtime/forms/RuntimeMessages.h"
#include "runtime/text/WideText.h"

CVolWinControl::CVolWinControl(std::unique_ptr<CVWnd> window)
    : holder_(new CMfcWndObject(std::move(window))) {}

CVolWinControl::~CVolWinControl() {
    holder_->Release();
}

bool CVolWinControl::Create(CVolWinContainer* parent, int x, int y, int width, int height,
                            std::uint32_t id) {
    ControlCreateInfo info;
    if (parent != nullptr && parent->Handle() != nullptr) {
        info.parentWindow = &parent->NativeWindow();
        info.parentControl = parent;
    }
    info.x = x;
    info.y = y;
    info.width = width;
    info.height = height;
    info.id = id;
    return Create(info);
}

bool CVolWinControl::Create(ControlCreateInfo& info) {
    CVWnd& native = NativeWindow();
    native.SetGroup(info.group);
    if (native.Handle() != nullptr) {
        return false;
    }
    // The caption outlives the creation: the record only borrows it.
    const CWString caption = holder_->Caption();
    info.caption = Wide(caption);
    info.style = holder_->Style();
    info.exStyle = holder_->ExStyle();
    if (info.parentWindow != nullptr && (info.style & WS_POPUP) == 0) {
        info.style |= WS_CHILD;
    } else {
        info.style &= ~static_cast<DWORD>(WS_CHILD);
    }
    info.font = holder_->EnsureFont();
    SettleSize(info);
    // The creation lasts until the window is shown and set up (a form shows itself in its
    // kind's step): until then the errors of its handlers are the creating call's to throw.
    return native.CaptureErrorsDuring([&] {
        if (!CreateKindWindow(info) || Handle() == nullptr) {
            return false;
        }
        FinishCreation(info);
        return true;
    });
}

void CVolWinControl::FinishCreation(ControlCreateInfo& info) {
    const HWND window = Handle();
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(info.font), TRUE);
    if (Handle() != window) {
        return;
    }
    LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    constexpr LRESULT kWantsKeys =
        DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
    if ((info.style & WS_TABSTOP) == 0 &&
        (SendMessageW(window, WM_GETDLGCODE, 0, 0) & kWantsKeys)) {
        style |= WS_TABSTOP;
        SetWindowLongPtrW(window, GWL_STYLE, style);
    }
    if ((info.style & WS_BORDER) == 0 && (style & WS_BORDER) != 0) {
        SetWindowLongPtrW(window, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_BORDER));
        SetWindowPos(window, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const bool visible = (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0;
    SendMessageW(window, kMsgSetVisible, visible ? 1 : 0, kWindowMarker);
    if (info.parentControl != nullptr && info.parentWindow != nullptr &&
        info.parentWindow->Handle() != nullptr) {
        Created.Raise(EventSource(), info.parentControl, info.id);
    }
}

void CVolWinControl::SetCaption(const CWString& text) {
    const HWND window = Handle();
    if (window == nullptr) {
        holder_->SetCaption(text);
        return;
    }
    SetWindowTextW(window, Wide(text));
    if (RepaintsOnCaption()) {
        InvalidateRect(window, nullptr, TRUE);
    }
}

CWString CVolWinControl::GetText() const {
    const HWND window = Handle();
    if (window == nullptr) {
        return holder_->Caption();
    }
    // Sent messages, so that a handler on another thread reads it on the window's thread.
    const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) {
        return CWString();
    }
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    const auto copied =
        SendMessageW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return CWString(std::u16string_view(Utf16(buffer.data()),
                                        static_cast<std::size_t>(copied > 0 ? copied : 0)));
}

void CVolWinControl::SetEnabled(bool enabled) {
    if (const HWND window = Handle(); window != nullptr) {
        EnableWindow(window, enabled ? TRUE : FALSE);
        return;
    }
    const DWORD style = holder_->Style();
    holder_->SetStyle(enabled ? style & ~static_cast<DWORD>(WS_DISABLED) : style | WS_DISABLED);
}

void CVolWinControl::SetFontResolution(int dotsPerInch) {
    ScopedFont font = CreateControlFont(dotsPerInch);
    if (!font) {
        return;  // the old font is better than none
    }
    const HFONT given = font.Get();
    const ScopedFont previous = Holder().ReplaceFont(std::move(font));
    if (const HWND window = Handle(); window != nullptr) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(given), TRUE);
    }
}

bool CVolWinControl::IsEnabled() const {
    if (const HWND window = Handle(); window != nullptr) {
        return IsWindowEnabled(window) != FALSE;
    }
    return (holder_->Style() & WS_DISABLED) == 0;
}
