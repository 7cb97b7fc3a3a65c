#include "runtime/forms/DisplayScale.h"

#include <algorithm>

double DisplayScale = 1.0;

double ScaleOfDotsPerInch(unsigned dotsPerInch) {
    return std::max(1.0, dotsPerInch / 96.0);
}

int ScaleBy(int value, double scale) {
    return static_cast<int>(value * scale + 0.5);
}

int ScaleToDisplay(int value) {
    return ScaleBy(value, DisplayScale);
}
