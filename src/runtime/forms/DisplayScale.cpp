#include "runtime/forms/DisplayScale.h"

double DisplayScale = 1.0;

int ScaleToDisplay(int value) {
    return static_cast<int>(value * DisplayScale + 0.5);
}
