#pragma once

#include <windows.h>

// A colour option holding this value follows the system colour that the option stands
// for (window text for text, button face for backgrounds) instead of a fixed colour.
inline constexpr COLORREF kSystemColour = 0xFF000000;

inline COLORREF ResolveColour(COLORREF colour, int systemColourIndex) {
    return colour == kSystemColour ? GetSysColor(systemColourIndex) : colour;
}

// Fills the rectangle with a colour without creating a brush.
inline void FillWithColour(HDC dc, const RECT& rect, COLORREF colour) {
    const COLORREF previous = SetDCBrushColor(dc, colour);
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    SetDCBrushColor(dc, previous);
}
