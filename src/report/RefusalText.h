#pragma once

#include <string>

#include "engine/OpenRefusal.h"

// Why a watch was refused, as the window's warning and the console's line say it. Without
// administrator rights in effect, a volume that cannot be opened says that they are
// needed.
std::u16string RefusalText(OpenRefusal refusal, bool elevated = true);
