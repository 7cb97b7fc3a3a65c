#pragma once

// Ratio of the primary monitor's vertical resolution to 96 dots per inch, at least 1.0.
// 1.0 until start-up sets it once; every designed position and size is multiplied by it.
extern double DisplayScale;

// The scale of a resolution: dots per inch over 96, at least 1.0.
double ScaleOfDotsPerInch(unsigned dotsPerInch);

// A designed value (pixels at 96 dots per inch) at a scale: the integer part of value *
// scale + 0.5. Each value is converted on its own, never derived from its neighbours, so
// that the layout is the same wherever it is computed.
int ScaleBy(int value, double scale);

// A designed value on this display: ScaleBy(value, DisplayScale).
int ScaleToDisplay(int value);
