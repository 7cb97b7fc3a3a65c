#include "ui/LogBoxWriter.h"

#include <algorithm>

#include "runtime/text/WideText.h"
#include "runtime/win32/ScopedResource.h"

namespace {

// Where the user is in the box: the selection (anchor and caret), the first line in view
// and the horizontal scroll. A caret at the end, with nothing selected, stays at the end as
// lines arrive; the view follows it there only when the last line is in view.
struct UserView {
    DWORD anchor = 0;
    DWORD caret = 0;
    LRESULT firstLine = 0;
    int horizontal = 0;
    bool caretAtEnd = false;
    bool following = false;
};

LRESULT TextLength(HWND box) {
    return SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
}

LRESULT LineCount(HWND box) {
    return SendMessageW(box, EM_GETLINECOUNT, 0, 0);
}

int LinesInView(HWND box) {
    RECT format{};
    SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    TEXTMETRICW metrics{};
    if (const ScopedScreenDc screen(GetDC(nullptr)); screen) {
        const auto font = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
        const HGDIOBJ previous =
            SelectObject(screen.Get(), font != nullptr ? static_cast<HGDIOBJ>(font)
                                                       : GetStockObject(SYSTEM_FONT));
        GetTextMetricsW(screen.Get(), &metrics);
        SelectObject(screen.Get(), previous);
    }
    return metrics.tmHeight > 0 ? std::max<int>(1, (format.bottom - format.top) / metrics.tmHeight)
                                : 1;
}

// Whether the caret sits at `start` of a selection, a selection made backwards: the edit
// box answers its selection in order, but puts the caret where the user moved it.
bool CaretAtStart(HWND box, DWORD start, DWORD end) {
    if (start == end || GetFocus() != box) {
        return false;  // only the focused box has a caret to ask
    }
    POINT caret{};
    if (!GetCaretPos(&caret)) {
        return false;
    }
    const LRESULT at = SendMessageW(box, EM_POSFROMCHAR, start, 0);
    return at != -1 && caret.x == static_cast<short>(LOWORD(at)) &&
           caret.y == static_cast<short>(HIWORD(at));
}

UserView ReadView(HWND box) {
    UserView view;
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const bool backwards = CaretAtStart(box, start, end);
    view.anchor = backwards ? end : start;
    view.caret = backwards ? start : end;
    view.firstLine = SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0);
    view.horizontal = GetScrollPos(box, SB_HORZ);
    view.caretAtEnd = start == end && static_cast<LRESULT>(end) == TextLength(box);
    view.following = view.caretAtEnd && view.firstLine + LinesInView(box) >= LineCount(box);
    return view;
}

// Removes the first `lines` lines; answers how many characters went.
LRESULT RemoveFirstLines(HWND box, std::size_t lines) {
    LRESULT end = SendMessageW(box, EM_LINEINDEX, lines, 0);
    if (end < 0) {
        end = TextLength(box);
    }
    SendMessageW(box, EM_SETSEL, 0, end);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    return end;
}

DWORD Shifted(DWORD position, LRESULT removed) {
    return position > static_cast<DWORD>(removed) ? position - static_cast<DWORD>(removed) : 0;
}

// Puts the selection and the scroll back where the user had them, less what was removed
// above them; a caret at the end is left at the new end. The selection first: setting it
// may scroll to the caret.
void RestoreView(HWND box, const UserView& view, LRESULT removedCharacters,
                 std::size_t removedLines) {
    if (!view.caretAtEnd) {
        SendMessageW(box, EM_SETSEL, Shifted(view.anchor, removedCharacters),
                     Shifted(view.caret, removedCharacters));
    }
    const LRESULT wanted =
        std::max<LRESULT>(0, view.firstLine - static_cast<LRESULT>(removedLines));
    const LRESULT now = SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (now != wanted) {
        SendMessageW(box, EM_LINESCROLL, 0, wanted - now);
    }
    if (GetScrollPos(box, SB_HORZ) != view.horizontal) {
        SendMessageW(box, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, view.horizontal), 0);
    }
}

}  // namespace

LogBoxWriter::LogBoxWriter(std::size_t maxLines, std::size_t trimBlock)
    : maxLines_(maxLines), trimBlock_(std::min(trimBlock, maxLines)) {}

void LogBoxWriter::Append(HWND box, const std::deque<std::u16string>& lines) const {
    if (box == nullptr || lines.empty()) {
        return;
    }
    const UserView view = ReadView(box);
    // The box's own lines: all but the last, which is empty after a line break.
    const auto held = static_cast<std::size_t>(std::max<LRESULT>(0, LineCount(box) - 1));
    std::size_t removedLines = 0;
    std::size_t skipped = 0;  // lines of the batch that would go at once
    if (held + lines.size() > maxLines_) {
        const std::size_t excess = held + lines.size() - (maxLines_ - trimBlock_);
        removedLines = std::min(held, excess);
        skipped = excess - removedLines;
    }
    std::u16string text;
    std::size_t length = 0;
    for (auto line = lines.begin() + static_cast<std::ptrdiff_t>(skipped); line != lines.end();
         ++line) {
        length += line->size() + 2;
    }
    text.reserve(length);
    for (auto line = lines.begin() + static_cast<std::ptrdiff_t>(skipped); line != lines.end();
         ++line) {
        text += *line;
        text += u"\r\n";
    }

    SendMessageW(box, WM_SETREDRAW, FALSE, 0);
    const LRESULT removedCharacters = removedLines > 0 ? RemoveFirstLines(box, removedLines) : 0;
    const LRESULT end = TextLength(box);
    SendMessageW(box, EM_SETSEL, end, end);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(text.c_str())));
    if (view.following) {
        SendMessageW(box, EM_SCROLLCARET, 0, 0);
    } else {
        RestoreView(box, view, removedCharacters, removedLines);
    }
    SendMessageW(box, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(box, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}
