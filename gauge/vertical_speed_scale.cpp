// The dial's scale: three straight segments on each side of zero, with the descent
// side's own slopes, so the needle steps by one degree just below -2000 ft/min.
#include "gauge/vertical_speed_scale.h"

#include <cmath>
#include <cstdio>

#include "common/error.h"
#include "common/text.h"

namespace {

constexpr const char* kOutOfIntegerRange = "Vertical speed %s is outside the 32-bit integer range";
constexpr double kAngleLimitDeg = 165;

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
