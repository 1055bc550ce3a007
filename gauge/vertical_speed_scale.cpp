// The dial's scale: three straight segments on each side of zero, with the descent
// side's own slopes, so the needle steps by one degree just below -2000 ft/min.
#include "gauge/vertical_speed_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/error.h"
#include "common/text.h"

namespace {

constexpr const char* kOutOfIntegerRange = "Vertical speed %s is outside the 32-bit integer range";
constexpr double kAngleLimitDeg = kDialAngleLimitDeg;

}  // namespace

double VerticalSpeedToAngle(double vertical_speed_fpm) {
    const double v = vertical_speed_fpm;
    if (v >= 0) {
        if (v <= 1000) return 0.076 * v;
        if (v <= 2000) return (v - 1000) * 0.029 + 76;
        const double angle_deg = (v - 2000) * 0.015 + 105;
        return angle_deg > kAngleLimitDeg ? kAngleLimitDeg : angle_deg;
    }
    if (v >= -1000) return 0.075 * v;
    if (v >= -2000) return (v + 1000) * 0.029 - 75;
    const double angle_deg = (v + 2000) * 0.015 - 105;
    return angle_deg < -kAngleLimitDeg ? -kAngleLimitDeg : angle_deg;
}

double RawToDialValue(DialUnits units, double raw_mpm) {
    switch (units) {
        case DialUnits::FeetPerMinute: return RawToFeetPerMinute(raw_mpm);
        case DialUnits::MetresPerSecond: return -raw_mpm / 60;
        case DialUnits::Knots: return -raw_mpm / 60 * kKnotsPerMetrePerSecond;
    }
    return 0;
}

double DialValueToMetresPerSecond(DialUnits units, double value) {
    switch (units) {
        case DialUnits::FeetPerMinute: return value / kFeetPerMetre / 60;
        case DialUnits::MetresPerSecond: return value;
        case DialUnits::Knots: return value / kKnotsPerMetrePerSecond;
    }
    return 0;
}

namespace {

// Piecewise-linear interpolation from the points' `from` member to their `to` member,
// for a non-negative x, held at the last point beyond it.
double Interpolate(const std::vector<DialScalePoint>& points, double x, bool value_to_angle) {
    auto from = [&](const DialScalePoint& p) { return value_to_angle ? p.Value : p.AngleDeg; };
    auto to = [&](const DialScalePoint& p) { return value_to_angle ? p.AngleDeg : p.Value; };
    if (points.empty()) return 0;
    for (size_t i = 1; i < points.size(); ++i) {
        if (x <= from(points[i])) {
            const DialScalePoint& a = points[i - 1];
            const DialScalePoint& b = points[i];
            return to(a) + (x - from(a)) * (to(b) - to(a)) / (from(b) - from(a));
        }
    }
    return to(points.back());
}

// The original face's angles back to feet per minute, segment by segment.
double OriginalAngleToFeetPerMinute(double angle_deg) {
    const double a = angle_deg;
    if (a >= 0) {
        if (a <= 76) return a / 0.076;
        if (a <= 105) return (a - 76) / 0.029 + 1000;
        return (std::min(a, kAngleLimitDeg) - 105) / 0.015 + 2000;
    }
    if (a >= -75) return a / 0.075;
    if (a >= -104) return (a + 75) / 0.029 - 1000;
    // The descent side steps from -104 to -105 degrees at -2000 ft/min: angles between
    // are never shown and read as -2000.
    if (a > -105) return -2000;
    return (std::max(a, -kAngleLimitDeg) + 105) / 0.015 - 2000;
}

}  // namespace

double DialValueToAngle(const DialScale& dial, double value) {
    if (dial.OriginalFace) return VerticalSpeedToAngle(value);
    // NaN is no value on any face: the needle stands at zero.
    if (!(value == value)) return 0;
    const double angle_deg = Interpolate(dial.Points, std::fabs(value), true);
    return value < 0 ? -angle_deg : angle_deg;
}

double AngleToDialValue(const DialScale& dial, double angle_deg) {
    if (dial.OriginalFace) return OriginalAngleToFeetPerMinute(angle_deg);
    const double value = Interpolate(dial.Points, std::fabs(angle_deg), false);
    return angle_deg < 0 ? -value : value;
}

int32_t RoundHalfToEven(double value) {
    // Worked out by hand rather than through the floating-point rounding mode, which
    // other code (or a driver) may have changed.
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0)) rounded += 1;
    // NaN fails both comparisons and is refused with the values out of range.
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", value);
        throw EVarioError(FormatText(kOutOfIntegerRange, {text}));
    }
    return static_cast<int32_t>(rounded);
}
