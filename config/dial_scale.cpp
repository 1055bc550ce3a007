#include "config/dial_scale.h"

#include <string>

#include "common/error.h"
#include "common/text.h"
#include "config/value_rules.h"

namespace {

constexpr const char* kUnknownDial = "'%s' is not a known DIAL (FPM6000, FPM2000, MS5 or KT10)";
constexpr const char* kUnknownUnits = "'%s' is not a known UNITS (FPM, MS or KT)";
constexpr const char* kBadPair = "'%s' is not a SCALE pair (value:degrees, decimal numbers)";
constexpr const char* kBadStart = "'%s' does not start the SCALE with 0:0";
constexpr const char* kNotIncreasing = "'%s' does not increase both value and degrees in the SCALE";
constexpr const char* kTooManyPairs = "'%s' has more than 32 pairs in the SCALE";
constexpr const char* kPastLimit = "'%s' turns the needle beyond 165 degrees in the SCALE";
constexpr const char* kTooFewPairs = "'%s' needs at least one pair after 0:0 in the SCALE";

[[noreturn]] void RaiseScaleError(const char* message, std::string_view text) {
    throw EVarioError(FormatText(message, {QuotedValue(text)}));
}

// One "value:degrees" pair; the numbers as the configuration writes decimals.
DialScalePoint ParsePair(std::string_view pair) {
    const size_t colon = pair.find(':');
    if (colon == std::string_view::npos) RaiseScaleError(kBadPair, pair);
    try {
        return {ConvertDecimal(TrimValue(pair.substr(0, colon))), ConvertDecimal(TrimValue(pair.substr(colon + 1)))};
    } catch (const EVarioError&) {
        RaiseScaleError(kBadPair, pair);
    }
}

// A linear face: full scale at the needle's limit.
DialScale LinearDial(DialUnits units, double full_scale) {
    DialScale dial;
    dial.Units = units;
    dial.OriginalFace = false;
    dial.Points = {{0, 0}, {full_scale, kDialAngleLimitDeg}};
    return dial;
}

}  // namespace

DialScale BuiltInDial(std::string_view name) {
    if (name.empty() || name == kDialFpm6000) return DialScale{};
    if (name == kDialFpm2000) return LinearDial(DialUnits::FeetPerMinute, 2000);
    if (name == kDialMs5) return LinearDial(DialUnits::MetresPerSecond, 5);
    if (name == kDialKt10) return LinearDial(DialUnits::Knots, 10);
    throw EVarioError(FormatText(kUnknownDial, {QuotedValue(name)}));
}

DialUnits DialUnitsNamed(std::string_view name) {
    if (name.empty() || name == "FPM") return DialUnits::FeetPerMinute;
    if (name == "MS") return DialUnits::MetresPerSecond;
    if (name == "KT") return DialUnits::Knots;
    throw EVarioError(FormatText(kUnknownUnits, {QuotedValue(name)}));
}

DialScale ParseDialScale(std::string_view text, DialUnits units) {
    DialScale dial;
    dial.Units = units;
    dial.OriginalFace = false;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string_view pair = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        const DialScalePoint point = ParsePair(pair);
        if (dial.Points.empty()) {
            if (point.Value != 0 || point.AngleDeg != 0) RaiseScaleError(kBadStart, pair);
        } else {
            if (dial.Points.size() == kMaxScalePoints) RaiseScaleError(kTooManyPairs, text);
            const DialScalePoint& last = dial.Points.back();
            if (!(point.Value > last.Value && point.AngleDeg > last.AngleDeg)) RaiseScaleError(kNotIncreasing, pair);
            if (point.AngleDeg > kDialAngleLimitDeg) RaiseScaleError(kPastLimit, pair);
        }
        dial.Points.push_back(point);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (dial.Points.size() < 2) RaiseScaleError(kTooFewPairs, text);
    return dial;
}
