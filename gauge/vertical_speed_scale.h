// The dial's vertical-speed scale: feet per minute to needle degrees (positive for
// climb, drawn clockwise), in three segments per side, limited to +-165 degrees.
// The frame drawing and the image generator both place things with it.
#pragma once

#include <cstdint>

#include "common/vertical_speed_units.h"

// The needle angle in degrees for a vertical speed in feet per minute.
double VerticalSpeedToAngle(double vertical_speed_fpm);

// Feet per minute, climb positive, from the raw value in metres per minute, descent positive.
inline double RawToFeetPerMinute(double raw_mpm) { return -raw_mpm * kFeetPerMetre; }

// The network value as a raw integer: nearest, exact halves to the even neighbour.
// Raises a range error when the result does not fit a signed 32-bit integer.
int32_t RoundHalfToEven(double value);
