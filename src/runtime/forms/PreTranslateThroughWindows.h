#pragma once

#include <windows.h>

// The message loop's offer of a keyboard or mouse message to the runtime's windows before
// it is dispatched: from the message's window up through its parents, every window that
// carries the window marker (forms, panels) is sent kMsgPreTranslate; the walk ends at the
// first that answers the marker (the message is consumed: true) or at a window that is not
// a child. Other messages are not offered.
bool PreTranslateThroughWindows(MSG& message);
