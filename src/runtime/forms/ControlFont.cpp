#include "runtime/forms/ControlFont.h"

ScopedFont CreateControlFont() {
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    const ScopedScreenDc screen(GetDC(nullptr));
    const int dotsPerInch = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    font.lfHeight = -(dotsPerInch * 9 / 72);
    return ScopedFont(CreateFontIndirectW(&font));
}
