#include "runtime/forms/PreTranslateThroughWindows.h"

#include "runtime/forms/RuntimeMessages.h"

bool PreTranslateThroughWindows(MSG& message) {
    const bool keyboard = message.message >= 0x0100 && message.message <= 0x0109;
    const bool mouse = message.message >= 0x0200 && message.message <= 0x020E;
    if (!keyboard && !mouse) {
        return false;
    }
    for (HWND window = message.hwnd; window != nullptr; window = GetParent(window)) {
        if (CarriesWindowMarker(window) &&
            SendMessageW(window, kMsgPreTranslate, reinterpret_cast<WPARAM>(&message),
                         kWindowMarker) == kWindowMarker) {
            return true;
        }
        // A window destroyed during the offer reads no style and ends the walk too.
        if ((GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) == 0) {
            break;
        }
    }
    return false;
}
