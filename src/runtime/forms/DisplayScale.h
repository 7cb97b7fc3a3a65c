#pragma once

// Ratio of the primary monitor's vertical resolution to 96 dots per inch, at least 1.0.
// 1.0 until start-up sets it once; every designed position and size is multiplied by it.
extern double DisplayScale;

// A designed value (pixels at 96 dots per inch) on this display: the integer part of
// value * DisplayScale + 0.5. Each value is converted on its own, never derived from its
// neighbours, so that the layout is the same wherever it is computed.
int ScaleToDisplay(int value);
