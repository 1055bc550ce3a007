// Dial faces: the choice of marks per scale and the drawing of the face (dial_face.h).
#include "tools/dial_face.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "gauge/vertical_speed_scale.h"

namespace {

// Dial layout, inside the circle of 0.828 that a square window shows.
constexpr double kBezelOuterR = 0.815;
constexpr double kFaceR = 0.775;
constexpr double kTickOuterR = 0.655;
constexpr double kMajorTickInnerR = 0.53;
constexpr double kMinorTickInnerR = 0.595;
constexpr double kLabelR = 0.718;
constexpr double kMajorTickWidth = 0.018;
constexpr double kMinorTickWidth = 0.009;
// Numbers closer than this to the one before are left out.
constexpr double kMinLabelGapDeg = 14;

constexpr const char* kLegendHundredsFpm =
    "\xC3\x97"
    "100 FT/MIN";

// The original face: marks every 100 ft/min up to 2000 and every 500 beyond.
DialFaceMarks OriginalMarks() {
    DialFaceMarks marks;
    for (int fpm = 100; fpm < 2000; fpm += 100)
        if (fpm % 500 != 0) marks.minor.push_back(fpm);
    for (int fpm = 2500; fpm < 6000; fpm += 1000) marks.minor.push_back(fpm);
    marks.major = {500, 1000, 1500, 2000, 3000, 4000, 5000, 6000};
    marks.labels = {{0, "0"},     {500, "5"},   {1000, "10"}, {1500, "15"},
                    {2000, "20"}, {3000, "30"}, {4000, "40"}, {6000, "60"}};
    marks.legend = kLegendHundredsFpm;
    return marks;
}

// A value as a short number: no trailing zeros, at most two decimals.
std::string ShortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

bool IsMultipleOf(double value, double step) {
    double ratio = value / step;
    return std::fabs(ratio - std::round(ratio)) < 1e-6;
}

// Major (and minor) marks of a straight scale up to `full`.
void StraightScaleMarks(double full, DialFaceMarks& marks) {
    double decade = std::pow(10.0, std::floor(std::log10(full)));
    // The largest of 1, 2, 5 x 10^k that still gives at least four majors.
    double major = decade / 10;
    for (double candidate : {decade / 10 * 2, decade / 10 * 5, decade, decade * 2, decade * 5}) {
        if (full / candidate < 4 - 1e-9) break;
        major = candidate;
    }
    double leading = major / std::pow(10.0, std::floor(std::log10(major) + 1e-9));
    double minor = major / (std::fabs(leading - 5) < 1e-6 ? 5 : 2);
    for (int i = 1; i * minor <= full * (1 + 1e-9); ++i) {
        double value = i * minor;
        if (IsMultipleOf(value, major)) marks.major.push_back(value);
        else marks.minor.push_back(value);
    }
    if (marks.major.empty() || marks.major.back() < full * (1 - 1e-9)) marks.major.push_back(full);
}

}  // namespace

DialFaceMarks MarksOfDial(const DialScale& dial) {
    if (dial.OriginalFace) return OriginalMarks();
    DialFaceMarks marks;
    const double full = dial.Points.empty() ? 0 : dial.Points.back().Value;
    if (dial.Points.size() == 2) {
        StraightScaleMarks(full, marks);
    } else {
        for (size_t i = 1; i < dial.Points.size(); ++i) marks.major.push_back(dial.Points[i].Value);
    }

    // Numbers at the majors, as many as fit; the full-scale value always.
    std::vector<double> numbered = {0};
    for (double value : marks.major) {
        double gap = DialValueToAngle(dial, value) - DialValueToAngle(dial, numbered.back());
        if (gap >= kMinLabelGapDeg) numbered.push_back(value);
        else if (value == full && numbered.size() > 1) numbered.back() = value;
    }
    bool hundreds = dial.Units == DialUnits::FeetPerMinute;
    for (double value : numbered) hundreds = hundreds && IsMultipleOf(value, 100);
    for (double value : numbered) marks.labels.push_back({value, ShortNumber(hundreds ? value / 100 : value)});

    switch (dial.Units) {
        case DialUnits::FeetPerMinute: marks.legend = hundreds ? kLegendHundredsFpm : "FT/MIN"; break;
        case DialUnits::MetresPerSecond: marks.legend = "M/S"; break;
        case DialUnits::Knots: marks.legend = "KNOTS"; break;
    }
    return marks;
}

void DrawDialFace(DialPicture& picture, const DialScale& dial) {
    const DialFaceMarks marks = MarksOfDial(dial);
    picture.ShadedDisc(kBezelOuterR, {-0.2, -0.25}, {0.42, 0.42, 0.44}, {0.16, 0.16, 0.17});
    picture.ShadedDisc(kFaceR, {0, 0}, {0.11, 0.11, 0.12}, {0.05, 0.05, 0.055});

    auto tick = [&](double value, double inner_r, double width) {
        double angle_deg = DialValueToAngle(dial, value);
        picture.Line(AtNeedleAngle(angle_deg, inner_r), AtNeedleAngle(angle_deg, kTickOuterR), width);
    };
    picture.SetColour({0.95, 0.95, 0.93});
    for (int side : {1, -1}) {
        for (double value : marks.minor) tick(side * value, kMinorTickInnerR, kMinorTickWidth);
        for (double value : marks.major) tick(side * value, kMajorTickInnerR, kMajorTickWidth);
    }
    tick(0, kMajorTickInnerR - 0.03, 0.024);

    for (const DialFaceLabel& label : marks.labels) {
        for (int side : {1, -1}) {
            if (label.value == 0 && side < 0) continue;
            picture.Text(label.text.c_str(), AtNeedleAngle(DialValueToAngle(dial, side * label.value), kLabelR), 0.095,
                         true);
        }
    }

    // UP and DOWN inside the scale, each with an arrow turning the way the needle goes.
    for (int side : {1, -1}) {
        double word_deg = side * 40.0;
        picture.Text(side > 0 ? "UP" : "DOWN", AtNeedleAngle(word_deg, 0.36), 0.075, true);
        double from_deg = side * 12.0, to_deg = side * 62.0, arc_r = 0.45;
        // The picture's angles run clockwise on screen from three o'clock; ours from nine.
        double start = (180 + from_deg) * std::numbers::pi / 180, end = (180 + to_deg) * std::numbers::pi / 180;
        picture.Arc(arc_r, start, side > 0 ? end - 0.09 : end + 0.09, 0.014);
        // The tangent of a clockwise turn (on screen) at our angle a points to a + 90 deg.
        double tangent_deg = 180 + to_deg + side * 90.0;
        picture.Polygon(ArrowHeadCorners(AtNeedleAngle(to_deg, arc_r), tangent_deg, 0.05, 0.026));
    }

    picture.SetColour({0.85, 0.85, 0.82});
    picture.Text("VERTICAL", {0.31, -0.17}, 0.06, true);
    picture.Text("SPEED", {0.31, -0.095}, 0.06, true);
    picture.Text(marks.legend.c_str(), {0.31, 0.12}, 0.05, false);

    // Stop pin in the gap between the two ends of the scale.
    picture.SetColour({0.35, 0.35, 0.36});
    picture.Disc(AtNeedleAngle(180, 0.6), 0.018);
}
