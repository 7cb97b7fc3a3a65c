#include "runtime/forms/CVWnd_Label.h"

#include <vector>

#include "runtime/forms/RuntimeMessages.h"

void CVWnd_Label::SetListener(ILabelEventListener* listener) {
    labelListener_ = listener;
    SetBaseListener(listener);
}

UINT CVWnd_Label::TextFormat() const {
    UINT format = DT_NOCLIP;
    switch (horizontal_) {
        case kCentre:
            format |= DT_CENTER;
            break;
        case kRight:
            format |= DT_RIGHT;
            break;
        default:
            format |= DT_LEFT;
            break;
    }
    if (wordWrap_) {
        return format | DT_WORDBREAK | DT_VCENTER;
    }
    format |= DT_SINGLELINE;
    switch (vertical_) {
        case kTop:
            return format | DT_TOP;
        case kBottom:
            return format | DT_BOTTOM;
        default:
            return format | DT_VCENTER;
    }
}

LRESULT CVWnd_Label::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (const HDC dc = BeginPaint(Handle(), &paint); dc != nullptr) {
                Paint(dc, paint.rcPaint);
                EndPaint(Handle(), &paint);
            }
            return 0;
        }
        case WM_PRINTCLIENT: {
            RECT client;
            GetClientRect(Handle(), &client);
            Paint(reinterpret_cast<HDC>(wParam), client);
            return 0;
        }
        case WM_SETFONT:
            CopyFont(reinterpret_cast<HFONT>(wParam));
            if (LOWORD(lParam) != 0) {
                InvalidateRect(Handle(), nullptr, TRUE);
            }
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font_.Get());
        case kMsgLabel:
            if (labelListener_ != nullptr) {
                return labelListener_->OnLabelMessage(wParam, lParam);
            }
            break;
        default:
            break;
    }
    return CVWnd::OnMessage(message, wParam, lParam);
}

// The label keeps a font of its own, so that the font it was given may go first.
void CVWnd_Label::CopyFont(HFONT font) {
    LOGFONTW description{};
    if (font == nullptr || GetObjectW(font, sizeof description, &description) == 0) {
        font_.Reset(nullptr);
        return;
    }
    font_.Reset(CreateFontIndirectW(&description));
}

void CVWnd_Label::Paint(HDC dc, const RECT& area) const {
    const HWND window = Handle();
    RECT client;
    GetClientRect(window, &client);
    RECT fill;
    if (!transparent_ && IntersectRect(&fill, &area, &client)) {
        FillWithColour(dc, fill, ResolveColour(backColour_, COLOR_BTNFACE));
    }
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return;
    }
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1);
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    if (copied <= 0) {
        return;
    }
    const HFONT font = font_ ? font_.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const HGDIOBJ previousFont = SelectObject(dc, font);
    const int previousMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColour = SetTextColor(dc, ResolveColour(textColour_, COLOR_WINDOWTEXT));
    DrawTextW(dc, text.data(), copied, &client, TextFormat());
    SetTextColor(dc, previousColour);
    SetBkMode(dc, previousMode);
    SelectObject(dc, previousFont);
}
