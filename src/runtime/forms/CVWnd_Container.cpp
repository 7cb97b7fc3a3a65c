#include "runtime/forms/CVWnd_Container.h"

#include <windowsx.h>

void CVWnd_Container::SetListener(IContainerEventListener* listener) {
    containerListener_ = listener;
    SetBaseListener(listener);
}

LRESULT CVWnd_Container::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (containerListener_ != nullptr) {
                containerListener_->OnWindowCreate();
            }
            break;
        case WM_DESTROY:
            if (containerListener_ != nullptr) {
                containerListener_->OnWindowDestroy();
            }
            break;
        case WM_SIZE:
            if (containerListener_ != nullptr) {
                containerListener_->OnWindowSize(static_cast<UINT>(wParam), LOWORD(lParam),
                                                 HIWORD(lParam));
            }
            break;
        case WM_SHOWWINDOW:
            if (containerListener_ != nullptr) {
                containerListener_->OnWindowShow(wParam != 0);
            }
            break;
        case WM_MOVE:
            if (containerListener_ != nullptr) {
                containerListener_->OnWindowMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (const HDC dc = BeginPaint(Handle(), &paint); dc != nullptr) {
                PaintBackground(dc, paint.rcPaint);
                EndPaint(Handle(), &paint);
            }
            return 0;
        }
        case WM_PRINTCLIENT: {
            RECT client;
            GetClientRect(Handle(), &client);
            PaintBackground(reinterpret_cast<HDC>(wParam), client);
            return 0;
        }
        case WM_SETFONT:
            font_ = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam) != 0) {
                InvalidateRect(Handle(), nullptr, TRUE);
            }
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font_);
        case WM_SYSCOLORCHANGE:
            // Only top-level windows hear of a change of the system colours; the controls
            // that keep brushes of them are told by their parent.
            for (HWND child = GetWindow(Handle(), GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                SendMessageW(child, WM_SYSCOLORCHANGE, wParam, lParam);
            }
            break;
        default:
            break;
    }
    return CVWnd::OnMessage(message, wParam, lParam);
}

void CVWnd_Container::PaintBackground(HDC dc, const RECT& area) const {
    if (transparent_) {
        return;
    }
    RECT client;
    GetClientRect(Handle(), &client);
    RECT fill;
    if (IntersectRect(&fill, &area, &client)) {
        FillWithColour(dc, fill, ResolveColour(backColour_, COLOR_BTNFACE));
    }
}
