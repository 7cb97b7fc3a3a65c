#pragma once

#include <windows.h>

#include <cstdint>

class CVWnd;
class CVolWinControl;

// What a control's creation works from. The caller fills the place and identity; the
// creation fills style, extended style, caption and font from the control's holder.
struct ControlCreateInfo {
    // A position or size left to the default: the platform's default position, the
    // designed size.
    static constexpr std::int32_t kDefault = static_cast<std::int32_t>(0x80000000u);

    CVWnd* parentWindow = nullptr;            // none when the parent has no window yet
    CVolWinControl* parentControl = nullptr;  // set only together with parentWindow
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t id = 0;
    std::int32_t group = -1;
    DWORD style = 0;
    DWORD exStyle = 0;
    const wchar_t* caption = L"";
    HMENU menu = nullptr;  // forms only
    bool modal = false;    // forms only: shown as a modal dialog (not supported)
    bool messageBoxForm = false;
    std::int32_t modalResult = 0;
    HFONT font = nullptr;
};
