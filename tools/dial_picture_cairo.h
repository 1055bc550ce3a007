// Cairo pictures for the build's image generator and vario-make-dial on Linux: a square
// surface on black, text centred on a point, and the dial face's DialPicture.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "tools/dial_picture.h"

struct CairoSurface {
    cairo_surface_t* surface;
    cairo_t* cr;

    explicit CairoSurface(int side_px);
    ~CairoSurface();
    CairoSurface(const CairoSurface&) = delete;
    CairoSurface& operator=(const CairoSurface&) = delete;

    // User units become dial units, for a picture spanning -half_extent..half_extent.
    void UseDialUnits(double half_extent);
    // The picture as a bitmap file's bytes (bitmap_file.h).
    std::vector<uint8_t> BitmapBytes();
};

// Text centred on a point, upright.
void CairoCentredText(cairo_t* cr, const char* text, PicturePoint at, double size, bool bold = true);

class CairoDialPicture : public DialPicture {
public:
    explicit CairoDialPicture(cairo_t* cr) : cr_(cr) {}
    void ShadedDisc(double radius, PicturePoint spot, PictureColour inner, PictureColour rim) override;
    void SetColour(PictureColour colour) override;
    void Line(PicturePoint from, PicturePoint to, double width) override;
    void Arc(double radius, double start_rad, double end_rad, double width) override;
    void Polygon(const std::vector<PicturePoint>& corners) override;
    void Disc(PicturePoint centre, double radius) override;
    void Text(const char* text, PicturePoint centre, double size, bool bold) override;

private:
    cairo_t* cr_;
};
