#include "runtime/forms/CVolWinForm.h"

#include <algorithm>

#include "runtime/forms/RuntimeMessages.h"
#include "runtime/forms/RuntimeWindowClass.h"
#include "runtime/text/WideText.h"

namespace {

constexpr DWORD kCaptionStyles = WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX | WS_MINIMIZEBOX;

ScopedIcon LoadIconOfSize(int id, int widthMetric, int heightMetric) {
    return ScopedIcon(static_cast<HICON>(LoadImageW(RuntimeModule(), MAKEINTRESOURCEW(id),
                                                    IMAGE_ICON, GetSystemMetrics(widthMetric),
                                                    GetSystemMetrics(heightMetric), 0)));
}

}  // namespace

CVolWinForm::CVolWinForm() : CVolWinPanel(std::make_unique<CVWnd_WinForm>()) {}

CVolWinForm::~CVolWinForm() {
    // The window may outlive this part of the object for a moment; it must not call
    // into it any more.
    DetachListener();
}

bool CVolWinForm::CreateTopLevel() {
    ControlCreateInfo info;
    info.x = ControlCreateInfo::kDefault;
    info.y = ControlCreateInfo::kDefault;
    info.width = ControlCreateInfo::kDefault;
    info.height = ControlCreateInfo::kDefault;
    return Create(info);
}

void CVolWinForm::ConnectListener(bool attach) {
    NativeAs<CVWnd_WinForm>().SetListener(attach ? this : nullptr);
}

// The frame styles come first: the size step derives the outer size from them.
void CVolWinForm::SettleSize(ControlCreateInfo& info) {
    AddFormStyles(info);
    CVolWinPanel::SettleSize(info);
    SettlePosition(info);
}

void CVolWinForm::AddFormStyles(ControlCreateInfo& info) const {
    info.exStyle |= WS_EX_CONTROLPARENT;
    if ((info.caption == nullptr || info.caption[0] == L'\0') && titleBar_) {
        info.caption = Wide(kProgramName);
    }
    const bool hasCaption = info.caption != nullptr && info.caption[0] != L'\0';
    info.style |= WS_CLIPCHILDREN;
    if (borderStyle_ != kNoBorder) {
        if (hasCaption || titleBar_) {
            info.style |= WS_CAPTION;
        }
        if (titleBar_) {
            info.style |= WS_SYSMENU | WS_BORDER;
        }
        info.style |= WS_DLGFRAME;
        if (borderStyle_ == kResizable || borderStyle_ == kResizableToolWindow ||
            borderStyle_ == kResizableClientEdge) {
            info.style |= WS_THICKFRAME;
        }
        if (borderStyle_ == kResizableToolWindow || borderStyle_ == kFixedToolWindow) {
            info.exStyle |= WS_EX_TOOLWINDOW;
        }
        if (borderStyle_ == kResizableClientEdge || borderStyle_ == kFixedClientEdge) {
            info.exStyle |= WS_EX_CLIENTEDGE;
        }
    }
    if (maximizeBox_) {
        info.style |= WS_MAXIMIZEBOX;
    }
    if (minimizeBox_) {
        info.style |= WS_MINIMIZEBOX;
    }
    if (startState_ == kMinimised) {
        info.style |= WS_MINIMIZE;
    } else if (startState_ == kMaximised) {
        info.style |= WS_MAXIMIZE;
    }
}

// A coordinate left to the default: 0 inside a parent, else centred on the primary screen.
// Then a top-level form is placed on its owner's monitor (the whole screen without one),
// centred there in the centred start state.
void CVolWinForm::SettlePosition(ControlCreateInfo& info) const {
    const bool child = (info.style & WS_CHILD) != 0;
    if (info.x == ControlCreateInfo::kDefault) {
        info.x = child ? 0 : (GetSystemMetrics(SM_CXSCREEN) - info.width) / 2;
    }
    if (info.y == ControlCreateInfo::kDefault) {
        info.y = child ? 0 : (GetSystemMetrics(SM_CYSCREEN) - info.height) / 2;
    }
    if (child) {
        return;
    }
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (info.parentWindow != nullptr && info.parentWindow->Handle() != nullptr) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoW(
                MonitorFromWindow(info.parentWindow->Handle(), MONITOR_DEFAULTTONEAREST),
                &monitor)) {
            area = monitor.rcMonitor;
        }
    }
    if (startState_ == kCentred) {
        info.x = (area.left + area.right - info.width) / 2;
        info.y = (area.top + area.bottom - info.height) / 2;
    } else {
        info.x += area.left;
        info.y += area.top;
    }
}

bool CVolWinForm::CreateKindWindow(ControlCreateInfo& info) {
    // Modal forms are shown as dialogs from an in-memory template, which this runtime
    // does not build: refuse rather than show a modeless window instead.
    if (info.modal) {
        return false;
    }
    AttachListener();
    const CWString className = className_.IsEmpty() ? CWString(u"VolWinForm") : className_;
    if (!NativeWindow().CreateOwnClassWindow(Wide(className), info)) {
        return false;
    }
    const HWND window = Handle();
    SetWindowLongPtrW(window, GWLP_USERDATA, kWindowMarker);
    ApplyCaptionStyles(window, info.style & kCaptionStyles);
    SetIcons(window);
    if (topMost_) {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    if (!closable_) {
        DeleteMenu(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
    }
    ShowInStartState(window);
    return Handle() == window;
}

// The platform gives every overlapped window a caption; the options decide whether it
// keeps it.
void CVolWinForm::ApplyCaptionStyles(HWND window, DWORD wanted) const {
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    if ((style & kCaptionStyles) == wanted) {
        return;
    }
    SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>((style & ~kCaptionStyles) | wanted));
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A program without the icon resource shows the platform's default icon.
void CVolWinForm::SetIcons(HWND window) {
    ScopedIcon big = LoadIconOfSize(iconResource_, SM_CXICON, SM_CYICON);
    ScopedIcon small = LoadIconOfSize(iconResource_, SM_CXSMICON, SM_CYSMICON);
    if (big.Get() != nullptr) {
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.Get()));
    }
    if (small.Get() != nullptr) {
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.Get()));
    }
    NativeAs<CVWnd_WinForm>().KeepIcons(std::move(big), std::move(small));
}

void CVolWinForm::ShowInStartState(HWND window) const {
    if ((GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) == 0) {
        return;
    }
    switch (std::clamp(startState_, kNormal, kMaximised)) {
        case kMinimised:
            ShowWindow(window, SW_MINIMIZE);
            break;
        case kMaximised:
            ShowWindow(window, SW_MAXIMIZE);
            break;
        case kCentred: {
            if (IsIconic(window) || IsZoomed(window)) {
                ShowWindow(window, SW_RESTORE);
            }
            MONITORINFO monitor{};
            monitor.cbSize = sizeof monitor;
            RECT rect;
            if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor) &&
                GetWindowRect(window, &rect)) {
                const RECT& area = monitor.rcMonitor;
                SetWindowPos(window, nullptr,
                             (area.left + area.right - (rect.right - rect.left)) / 2,
                             (area.top + area.bottom - (rect.bottom - rect.top)) / 2, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            break;
        }
        default:
            ShowWindow(window, SW_SHOWNORMAL);
            break;
    }
}

int CVolWinForm::OnWindowMessage(WindowMessage& message) {
    return CVolWinPanel::OnWindowMessage(message);
}

void CVolWinForm::OnWindowCreate() {
    CVolWinPanel::OnWindowCreate();
}

void CVolWinForm::OnWindowDestroy() {
    CVolWinPanel::OnWindowDestroy();
    if (postQuitOnDestroy_) {
        PostQuitMessage(0);
    }
}

void CVolWinForm::OnWindowSize(UINT sizeType, int width, int height) {
    CVolWinPanel::OnWindowSize(sizeType, width, height);
}

void CVolWinForm::OnWindowShow(bool shown) {
    CVolWinPanel::OnWindowShow(shown);
}

void CVolWinForm::OnWindowMove(int x, int y) {
    CVolWinPanel::OnWindowMove(x, y);
}

bool CVolWinForm::OnPreTranslateMessage(MSG& message) {
    return PreTranslateMessage(message);
}

bool CVolWinForm::OnQueryMayGoAway() {
    return MayGoAwayQuery.RaisePermission(EventSource());
}

bool CVolWinForm::OnQueryClose() {
    return CloseQuery.RaisePermission(EventSource());
}

void CVolWinForm::OnFirstActivate() {
    FirstActivated.Raise(EventSource());
}

void CVolWinForm::OnActivate() {
    Activated.Raise(EventSource());
}

void CVolWinForm::OnDeactivate() {
    Deactivated.Raise(EventSource());
}

void CVolWinForm::OnNotifyIconMessage(int kind) {
    NotifyIconMessage.Raise(EventSource(), kind);
}

void CVolWinForm::OnMenuSelect(UINT itemId) {
    MenuSelected.Raise(EventSource(), itemId);
}

void CVolWinForm::OnGetMinMaxInfo(MINMAXINFO& info) {
    MinMaxInfoQuery.Raise(EventSource(), &info);
}
