// Cairo pictures (dial_picture_cairo.h).
#include "tools/dial_picture_cairo.h"

#include <numbers>

#include "tools/bitmap_file.h"
#include "tools/dial_face.h"

namespace {
constexpr const char* kFont = "DejaVu Sans";
}

CairoSurface::CairoSurface(int side_px) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, side_px, side_px);
    cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
}

CairoSurface::~CairoSurface() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

void CairoSurface::UseDialUnits(double half_extent) {
    int side = cairo_image_surface_get_width(surface);
    cairo_translate(cr, side / 2.0, side / 2.0);
    cairo_scale(cr, side / 2.0 / half_extent, side / 2.0 / half_extent);
}

std::vector<uint8_t> CairoSurface::BitmapBytes() {
    cairo_surface_flush(surface);
    // RGB24 keeps each pixel as a native 32-bit word, blue in the low byte on this
    // little-endian machine: the bitmap's own order.
    return BitmapFileBytes(cairo_image_surface_get_data(surface), cairo_image_surface_get_width(surface),
                           cairo_image_surface_get_height(surface), cairo_image_surface_get_stride(surface));
}

void CairoCentredText(cairo_t* cr, const char* text, PicturePoint at, double size, bool bold) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    cairo_move_to(cr, at.x - extents.x_bearing - extents.width / 2, at.y - extents.y_bearing - extents.height / 2);
    cairo_show_text(cr, text);
}

void CairoDialPicture::ShadedDisc(double radius, PicturePoint spot, PictureColour inner, PictureColour rim) {
    cairo_pattern_t* shade = cairo_pattern_create_radial(spot.x, spot.y, 0, 0, 0, radius);
    cairo_pattern_add_color_stop_rgb(shade, 0, inner.r, inner.g, inner.b);
    cairo_pattern_add_color_stop_rgb(shade, 1, rim.r, rim.g, rim.b);
    cairo_arc(cr_, 0, 0, radius, 0, 2 * std::numbers::pi);
    cairo_set_source(cr_, shade);
    cairo_fill(cr_);
    cairo_pattern_destroy(shade);
}

void CairoDialPicture::SetColour(PictureColour colour) { cairo_set_source_rgb(cr_, colour.r, colour.g, colour.b); }

void CairoDialPicture::Line(PicturePoint from, PicturePoint to, double width) {
    cairo_set_line_width(cr_, width);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    cairo_move_to(cr_, from.x, from.y);
    cairo_line_to(cr_, to.x, to.y);
    cairo_stroke(cr_);
}

void CairoDialPicture::Arc(double radius, double start_rad, double end_rad, double width) {
    cairo_set_line_width(cr_, width);
    cairo_new_path(cr_);
    if (end_rad > start_rad) cairo_arc(cr_, 0, 0, radius, start_rad, end_rad);
    else cairo_arc_negative(cr_, 0, 0, radius, start_rad, end_rad);
    cairo_stroke(cr_);
}

void CairoDialPicture::Polygon(const std::vector<PicturePoint>& corners) {
    if (corners.empty()) return;
    cairo_move_to(cr_, corners[0].x, corners[0].y);
    for (size_t i = 1; i < corners.size(); ++i) cairo_line_to(cr_, corners[i].x, corners[i].y);
    cairo_close_path(cr_);
    cairo_fill(cr_);
}

void CairoDialPicture::Disc(PicturePoint centre, double radius) {
    cairo_arc(cr_, centre.x, centre.y, radius, 0, 2 * std::numbers::pi);
    cairo_fill(cr_);
}

void CairoDialPicture::Text(const char* text, PicturePoint centre, double size, bool bold) {
    CairoCentredText(cr_, text, centre, size, bold);
}

std::vector<uint8_t> DialImageBytes(const DialScale& dial) {
    CairoSurface surface(kDialImageSidePx);
    surface.UseDialUnits(1.0);
    CairoDialPicture picture(surface.cr);
    DrawDialFace(picture, dial);
    return surface.BitmapBytes();
}
