// The few drawing operations a dial face needs, in dial units (origin at the centre,
// y downwards, the dial quad spanning -1..1), so that the face is drawn once for cairo
// (dial_picture_cairo.cpp) and for GDI+ (dial_picture_gdiplus.cpp).
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

struct PicturePoint {
    double x, y;
};

struct PictureColour {
    double r, g, b;
};

class DialPicture {
public:
    virtual ~DialPicture() = default;

    // A disc round the centre, shaded from a light spot to its rim.
    virtual void ShadedDisc(double radius, PicturePoint spot, PictureColour inner, PictureColour rim) = 0;
    // The colour of what is drawn next.
    virtual void SetColour(PictureColour colour) = 0;
    // A straight stroke with square-cut ends.
    virtual void Line(PicturePoint from, PicturePoint to, double width) = 0;
    // A stroke along a circle round the centre from one angle to another (radians, the
    // screen's clockwise turn from three o'clock), clockwise when end > start.
    virtual void Arc(double radius, double start_rad, double end_rad, double width) = 0;
    virtual void Polygon(const std::vector<PicturePoint>& corners) = 0;
    virtual void Disc(PicturePoint centre, double radius) = 0;
    // UTF-8 text centred on a point, upright, `size` the font's em in dial units.
    virtual void Text(const char* text, PicturePoint centre, double size, bool bold) = 0;
};

// A point at a radius and a needle angle (degrees, 0 at nine o'clock, clockwise).
inline PicturePoint AtNeedleAngle(double angle_deg, double radius) {
    double a = angle_deg * std::numbers::pi / 180;
    return {-radius * std::cos(a), -radius * std::sin(a)};
}

// The three corners of an arrowhead at `tip`, pointing along a direction (degrees,
// clockwise on screen from three o'clock).
inline std::vector<PicturePoint> ArrowHeadCorners(PicturePoint tip, double direction_deg, double length,
                                                  double half_width) {
    double a = direction_deg * std::numbers::pi / 180;
    double ux = std::cos(a), uy = std::sin(a);
    return {tip,
            {tip.x - ux * length - uy * half_width, tip.y - uy * length + ux * half_width},
            {tip.x - ux * length + uy * half_width, tip.y - uy * length - ux * half_width}};
}
