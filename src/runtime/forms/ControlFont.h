#pragma once

#include "runtime/win32/ScopedResource.h"

// A new font of the face of the platform's default GUI font at 9 points on this screen
// (-12 pixels at 96 dots per inch). Every control gets its own.
ScopedFont CreateControlFont();
// The same at another resolution: a window moved to a monitor of another scale.
ScopedFont CreateControlFont(int dotsPerInch);
