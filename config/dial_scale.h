// The dial face the needle is placed on: its unit and its scale from that unit's value
// to needle degrees. The built-in faces, and the type a scale of the user's own fills.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

enum class DialUnits { FeetPerMinute, MetresPerSecond, Knots };

// One point of a piecewise-linear scale: a value in the dial's unit (climb positive)
// and its needle angle in degrees clockwise from nine o'clock.
struct DialScalePoint {
    double Value;
    double AngleDeg;
};

struct DialScale {
    DialUnits Units = DialUnits::FeetPerMinute;
    // The original +-6000 ft/min face, whose descent side has slopes of its own; Points
    // is unused for it.
    bool OriginalFace = true;
    // From {0, 0}, values and angles strictly increasing; mirrored for descent, the
    // needle held at the last angle beyond the last value.
    std::vector<DialScalePoint> Points;
};

// The built-in faces by their DIAL names.
inline constexpr std::string_view kDialFpm6000 = "FPM6000";
inline constexpr std::string_view kDialFpm2000 = "FPM2000";
inline constexpr std::string_view kDialMs5 = "MS5";
inline constexpr std::string_view kDialKt10 = "KT10";

// The face of a DIAL name; empty gives the original face. Raises an error naming the
// known faces for any other name.
DialScale BuiltInDial(std::string_view name);

// The unit named by UNITS: "FPM" (also empty), "MS" or "KT". Raises an error naming the
// known units for any other text.
DialUnits DialUnitsNamed(std::string_view name);

// The limit of the needle's travel either side of zero, in degrees.
inline constexpr double kDialAngleLimitDeg = 165;
inline constexpr size_t kMaxScalePoints = 32;

// A scale of the user's own in the given unit: comma-separated "value:degrees" pairs,
// starting "0:0", values and angles strictly increasing, at most 32 pairs, the last
// angle at most 165. Raises an error naming the broken rule and the offending text.
DialScale ParseDialScale(std::string_view text, DialUnits units);
