#pragma once

#include <windows.h>

// The runtime's private window messages. Each carries kWindowMarker in lParam, so that a
// stray message with the same number from elsewhere is not mistaken for one of them; the
// windows that answer them return the marker.
inline constexpr LPARAM kWindowMarker = 19731115;  // 0x12D12AB

inline constexpr UINT kMsgQueryVisible = 40949;  // wParam: BOOL* receiving the visible flag
inline constexpr UINT kMsgSetVisible = 40950;    // wParam: the visible flag
inline constexpr UINT kMsgRemoveFilter = 40954;  // wParam: IWindowProcFilter*
inline constexpr UINT kMsgAddFilter = 40955;     // wParam: IWindowProcFilter*
inline constexpr UINT kMsgSetGroup = 40956;      // wParam: the group number
inline constexpr UINT kMsgQueryGroup = 40957;    // wParam: int* receiving the group number
inline constexpr UINT kMsgPreTranslate = 40959;  // wParam: MSG* about to be dispatched
inline constexpr UINT kMsgLabel = 40962;         // a label's own message, any wParam and lParam

// Forms and panels keep the marker in GWLP_USERDATA: the message loop offers
// kMsgPreTranslate only to windows that carry it.
inline bool CarriesWindowMarker(HWND window) {
    return GetWindowLongPtrW(window, GWLP_USERDATA) == kWindowMarker;
}
