#include "runtime/forms/CVWnd_WinForm.h"

#include "runtime/forms/RuntimeMessages.h"

void CVWnd_WinForm::SetListener(IWinFormEventListener* listener) {
    formListener_ = listener;
    CVWnd_Container::SetListener(listener);
}

void CVWnd_WinForm::KeepIcons(ScopedIcon big, ScopedIcon small) {
    bigIcon_ = std::move(big);
    smallIcon_ = std::move(small);
}

LRESULT CVWnd_WinForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kMsgPreTranslate:
            if (lParam == kWindowMarker && wParam != 0) {
                const bool consumed =
                    formListener_ != nullptr &&
                    formListener_->OnPreTranslateMessage(*reinterpret_cast<MSG*>(wParam));
                return consumed ? kWindowMarker : 0;
            }
            break;
        case WM_CLOSE:
            if (formListener_ != nullptr) {
                return OnClose();
            }
            break;
        case WM_QUERYENDSESSION:
            if (formListener_ != nullptr) {
                return formListener_->OnQueryMayGoAway() ? TRUE : FALSE;
            }
            break;
        case WM_ACTIVATE:
            return OnActivateMessage(wParam, lParam);
        case WM_MENUSELECT:
            if (formListener_ != nullptr) {
                formListener_->OnMenuSelect(LOWORD(wParam));
            }
            break;
        case WM_GETMINMAXINFO:
            if (formListener_ != nullptr) {
                auto& info = *reinterpret_cast<MINMAXINFO*>(lParam);
                info.ptMinTrackSize = POINT{1, 1};
                formListener_->OnGetMinMaxInfo(info);
                return 0;
            }
            break;
        default:
            break;
    }
    return CVWnd_Container::OnMessage(message, wParam, lParam);
}

// The close query, then the may-go-away query; either may refuse, and a handler may have
// destroyed the window (or detached the listener) meanwhile.
LRESULT CVWnd_WinForm::OnClose() {
    const HWND window = Handle();
    if (!formListener_->OnQueryClose() || Handle() != window || formListener_ == nullptr) {
        return 0;
    }
    if (!formListener_->OnQueryMayGoAway() || Handle() != window) {
        return 0;
    }
    DestroyWindow(window);
    return 0;
}

LRESULT CVWnd_WinForm::OnActivateMessage(WPARAM wParam, LPARAM lParam) {
    const bool deactivated = LOWORD(wParam) == WA_INACTIVE;
    const HWND window = Handle();
    if (formListener_ != nullptr && !inActivation_) {
        // A handler may show a window that activates or deactivates this one again; those
        // nested messages raise nothing.
        inActivation_ = true;
        if (deactivated) {
            formListener_->OnDeactivate();
        } else {
            if (!activatedBefore_) {
                activatedBefore_ = true;
                formListener_->OnFirstActivate();
            }
            if (formListener_ != nullptr) {
                formListener_->OnActivate();
            }
        }
        inActivation_ = false;
        if (Handle() != window) {
            return 0;
        }
    }
    // Like a dialog, the form gives the keyboard focus back to the child that had it when
    // the form was last deactivated.
    if (deactivated) {
        const HWND focus = GetFocus();
        lastFocus_ = focus != nullptr && IsChild(window, focus) ? focus : nullptr;
    } else if (HIWORD(wParam) == 0 && lastFocus_ != nullptr && IsWindow(lastFocus_) &&
               IsChild(window, lastFocus_)) {
        SetFocus(lastFocus_);
        return 0;
    }
    return DefaultProcessing(WM_ACTIVATE, wParam, lParam);
}
