#include "runtime/forms/ControlFont.h"

ScopedFont CreateControlFont() {
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    const HDC screen = GetDC(nullptr);
    const int dotsPerInch = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    font.lfHeight = -(dotsPerInch * 9 / 72);
    return ScopedFont(CreateFontIndirectW(&font));
}
