#include "runtime/forms/ControlFont.h"

ScopedFont CreateControlFont() {
    const ScopedScreenDc screen(GetDC(nullptr));
    return CreateControlFont(screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96);
}

ScopedFont CreateControlFont(int dotsPerInch) {
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfHeight = -(dotsPerInch * 9 / 72);
    return ScopedFont(CreateFontIndirectW(&font));
}
