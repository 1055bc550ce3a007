// The dial's vertical-speed scale: feet per minute to needle degrees (positive for
// climb, drawn clockwise), in three segments per side, limited to +-165 degrees.
// The frame drawing and the image generator both place things with it.
#pragma once

#include <cstdint>

#include "common/vertical_speed_units.h"
#include "config/dial_scale.h"

// The needle angle in degrees for a vertical speed in feet per minute.
double VerticalSpeedToAngle(double vertical_speed_fpm);

// Feet per minute, climb positive, from the raw value in metres per minute, descent positive.
inline double RawToFeetPerMinute(double raw_mpm) { return -raw_mpm * kFeetPerMetre; }

// The raw value (metres per minute, descent positive) in the dial's unit, climb positive.
double RawToDialValue(DialUnits units, double raw_mpm);
// A value in the dial's unit as metres per second, climb positive.
double DialValueToMetresPerSecond(DialUnits units, double value);

// The needle angle of a value in the dial's unit on that dial's scale.
double DialValueToAngle(const DialScale& dial, double value);
// The value a needle angle shows on the dial: the inverse of DialValueToAngle, the
// value at the needle's limit for angles at or beyond it.
double AngleToDialValue(const DialScale& dial, double angle_deg);
// The needle angle of a raw value on the dial.
inline double RawToDialAngle(const DialScale& dial, double raw_mpm) {
    return DialValueToAngle(dial, RawToDialValue(dial.Units, raw_mpm));
}

// The network value as a raw integer: nearest, exact halves to the even neighbour.
// Raises a range error when the result does not fit a signed 32-bit integer.
int32_t RoundHalfToEven(double value);
