// Draws the gauge's image files with cairo at build time: the application icon
// "plane2.ico" (app_icon.cpp), the five bitmaps the gauge is drawn with (dial, needle
// mask, needle, position and size overlays), the dial of each other built-in face
// (dial_face.cpp), and with --icons the icon theme's PNG set for the Linux package.
// Usage: vario-make-images OUTPUT_DIRECTORY [--icons THEME_DIRECTORY] [--preview PNG_FILE]
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "gauge/image_file.h"
#include "gauge/vertical_speed_scale.h"
#include "tools/app_icon.h"
#include "tools/bitmap_file.h"
#include "tools/dial_face.h"
#include "tools/dial_picture_cairo.h"

namespace {

// ---- The gauge's bitmaps -------------------------------------------------------------
//
// How the gauge shows them: the dial fills a quad from -1 to 1 at distance 2 under a
// 45-degree perspective, so only a circle of radius 2 tan(22.5 deg) = 0.828 of it is
// in a square window; the needle mask and the needle fill a quad of half-size 0.65 at
// the same distance, turned clockwise by the needle angle; the overlays fill the
// central half of the dial. Everything below is drawn in those dial units, origin at
// the centre, y downwards (cairo's), so that a point at radius r and needle angle a
// (0 at nine o'clock, positive clockwise) lies at (-r cos a, -r sin a).

constexpr double kDialQuadHalf = 1.0;
constexpr double kNeedleQuadHalf = 0.65;

constexpr int kNeedleSidePx = 512;
constexpr int kOverlaySidePx = 256;

// The needle reaches into the tick band, and stays inside its quad.
constexpr double kNeedleTipR = 0.635;
constexpr double kNeedleTailR = 0.15;
constexpr double kHubR = 0.062;
constexpr double kMaskOutline = 0.012;  // dark rim the mask leaves around the needle

// The needle pointing at zero (nine o'clock), with its counterweight tail and hub.
void NeedlePath(cairo_t* cr, double grow) {
    cairo_move_to(cr, -kNeedleTipR - grow, 0);
    cairo_line_to(cr, -kNeedleTipR + 0.09, -0.011 - grow);
    cairo_line_to(cr, -0.02, -0.02 - grow);
    cairo_line_to(cr, kNeedleTailR + grow, -0.032 - grow);
    cairo_line_to(cr, kNeedleTailR + grow, 0.032 + grow);
    cairo_line_to(cr, -0.02, 0.02 + grow);
    cairo_line_to(cr, -kNeedleTipR + 0.09, 0.011 + grow);
    cairo_close_path(cr);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, kHubR + grow, 0, 2 * M_PI);
}

// The mask multiplies the picture: white keeps the dial, black cuts out the needle
// (with a thin dark rim around it).
void DrawNeedleMask(CairoSurface& s) {
    cairo_t* cr = s.cr;
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    s.UseDialUnits(kNeedleQuadHalf);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    NeedlePath(cr, kMaskOutline);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
}

// The needle is added onto the mask's cut-out: black adds nothing, so everything but
// the needle and its hub stays black.
void DrawNeedle(CairoSurface& s) {
    cairo_t* cr = s.cr;
    s.UseDialUnits(kNeedleQuadHalf);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    NeedlePath(cr, 0);
    cairo_set_source_rgb(cr, 0.96, 0.96, 0.94);
    cairo_fill(cr);
    cairo_arc(cr, 0, 0, kHubR, 0, 2 * M_PI);
    cairo_pattern_t* hub = cairo_pattern_create_radial(-0.02, -0.02, 0, 0, 0, kHubR);
    cairo_pattern_add_color_stop_rgb(hub, 0, 0.45, 0.45, 0.46);
    cairo_pattern_add_color_stop_rgb(hub, 1, 0.12, 0.12, 0.13);
    cairo_set_source(cr, hub);
    cairo_fill(cr);
    cairo_pattern_destroy(hub);
    cairo_arc(cr, 0, 0, 0.016, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
    cairo_fill(cr);
}

// Overlay units: -1..1 across the picture, which the gauge shows over the dial's -0.5..0.5.
void OverlayUnits(CairoSurface& s) {
    int side = cairo_image_surface_get_width(s.surface);
    cairo_translate(s.cr, side / 2.0, side / 2.0);
    cairo_scale(s.cr, side / 2.0, side / 2.0);
    cairo_set_source_rgb(s.cr, 0.1, 1, 0.1);
}

// A straight arrow from one point to another with a filled head.
void Arrow(cairo_t* cr, PicturePoint from, PicturePoint to, double width) {
    double direction_deg = std::atan2(to.y - from.y, to.x - from.x) * 180 / M_PI;
    double a = direction_deg * M_PI / 180, head = width * 3.2;
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, from.x, from.y);
    cairo_line_to(cr, to.x - std::cos(a) * head * 0.8, to.y - std::sin(a) * head * 0.8);
    cairo_stroke(cr);
    CairoDialPicture(cr).Polygon(ArrowHeadCorners(to, direction_deg, head, head * 0.6));
}

// Position mode: the arrow keys move the window, so four arrows outwards and "POS".
void DrawPositionOverlay(CairoSurface& s) {
    OverlayUnits(s);
    cairo_t* cr = s.cr;
    for (double deg : {0.0, 90.0, 180.0, 270.0}) {
        double a = deg * M_PI / 180;
        Arrow(cr, {0.42 * std::cos(a), 0.42 * std::sin(a)}, {0.92 * std::cos(a), 0.92 * std::sin(a)}, 0.07);
    }
    CairoCentredText(cr, "POS", {0, 0}, 0.3);
}

// Size mode: the arrow keys resize the window, so a frame with a corner dragged
// outwards and "SIZE".
void DrawSizeOverlay(CairoSurface& s) {
    OverlayUnits(s);
    cairo_t* cr = s.cr;
    cairo_set_line_width(cr, 0.05);
    cairo_rectangle(cr, -0.88, -0.88, 1.2, 1.2);
    cairo_stroke(cr);
    static const double kDash[] = {0.08, 0.06};
    cairo_set_dash(cr, kDash, 2, 0);
    cairo_rectangle(cr, -0.88, -0.88, 1.76, 1.76);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    Arrow(cr, {0.22, 0.22}, {0.8, 0.8}, 0.07);
    CairoCentredText(cr, "SIZE", {-0.28, -0.28}, 0.26);
}

// ---- Preview --------------------------------------------------------------------------
// What the gauge shows in a square window at a few vertical speeds, worked out the way
// the frame drawing blends the images (dial x mask + needle), read back from the files.

struct Sampler {
    const GaugeImage& image;

    // Linear filtering at texture coordinates (s, t), t = 0 at the bottom row.
    void At(double s, double t, double rgb[3]) const {
        double fx = s * image.width - 0.5, fy = t * image.height - 0.5;
        int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
        double wx = fx - x0, wy = fy - y0;
        for (int c = 0; c < 3; ++c) rgb[c] = 0;
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) {
                int x = std::clamp(x0 + dx, 0, image.width - 1), y = std::clamp(y0 + dy, 0, image.height - 1);
                double w = (dx ? wx : 1 - wx) * (dy ? wy : 1 - wy);
                const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
                for (int c = 0; c < 3; ++c) rgb[c] += w * p[c] / 255.0;
            }
    }
};

bool WritePreview(const std::filesystem::path& dir, const std::filesystem::path& png) {
    std::optional<GaugeImage> dial = LoadImageFile((dir / "vario.txr").string());
    std::optional<GaugeImage> mask = LoadImageFile((dir / "ago_mask.txr").string());
    std::optional<GaugeImage> needle = LoadImageFile((dir / "ago.txr").string());
    if (!dial || !mask || !needle) return false;
    const double speeds_fpm[] = {0, 1000, 2500, 6000, -500, -1500, -2000, -4000};
    constexpr int kPanelPx = 300, kCaptionPx = 28, kColumns = 4;
    const int rows = static_cast<int>(std::size(speeds_fpm)) / kColumns;
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPanelPx * kColumns, (kPanelPx + kCaptionPx) * rows);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
    cairo_paint(cr);
    cairo_surface_flush(surface);
    const double visible_half = 2 * std::tan(22.5 * M_PI / 180);  // at distance 2
    uint8_t* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (size_t i = 0; i < std::size(speeds_fpm); ++i) {
        const int left = static_cast<int>(i % kColumns) * kPanelPx;
        const int top = static_cast<int>(i / kColumns) * (kPanelPx + kCaptionPx);
        const double a = VerticalSpeedToAngle(speeds_fpm[i]) * M_PI / 180;
        for (int py = 0; py < kPanelPx; ++py)
            for (int px = 0; px < kPanelPx; ++px) {
                double x = ((px + 0.5) / kPanelPx * 2 - 1) * visible_half;
                double y = (1 - (py + 0.5) / kPanelPx * 2) * visible_half;
                double rgb[3], m[3], n[3];
                Sampler{*dial}.At((x / kDialQuadHalf + 1) / 2, (y / kDialQuadHalf + 1) / 2, rgb);
                // The needle quad is turned clockwise by the angle: undo that turn.
                double qx = x * std::cos(a) - y * std::sin(a), qy = x * std::sin(a) + y * std::cos(a);
                if (std::fabs(qx) <= kNeedleQuadHalf && std::fabs(qy) <= kNeedleQuadHalf) {
                    double s = (qx / kNeedleQuadHalf + 1) / 2, t = (qy / kNeedleQuadHalf + 1) / 2;
                    Sampler{*mask}.At(s, t, m);
                    Sampler{*needle}.At(s, t, n);
                    for (int c = 0; c < 3; ++c) rgb[c] = std::min(1.0, rgb[c] * m[c] + n[c]);
                }
                uint32_t out = static_cast<uint32_t>(rgb[0] * 255 + 0.5) << 16 |
                               static_cast<uint32_t>(rgb[1] * 255 + 0.5) << 8 |
                               static_cast<uint32_t>(rgb[2] * 255 + 0.5);
                *reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(top + py) * stride + (left + px) * 4) = out;
            }
        cairo_surface_mark_dirty(surface);
        char caption[64];
        std::snprintf(caption, sizeof caption, "%+.0f ft/min  (%.1f\xC2\xB0)", speeds_fpm[i],
                      VerticalSpeedToAngle(speeds_fpm[i]));
        cairo_set_source_rgb(cr, 1, 1, 1);
        CairoCentredText(cr, caption, {left + kPanelPx / 2.0, top + kPanelPx + kCaptionPx / 2.0}, 15, false);
        cairo_surface_flush(surface);
    }
    cairo_status_t status = cairo_surface_write_to_png(surface, png.c_str());
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return status == CAIRO_STATUS_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::filesystem::path> icons, preview;
    bool usage_ok = argc >= 2 && argc % 2 == 0;
    for (int i = 2; usage_ok && i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--icons") {
            icons = argv[i + 1];
        } else if (option == "--preview") {
            preview = argv[i + 1];
        } else {
            usage_ok = false;
        }
    }
    if (!usage_ok) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY [--icons THEME_DIRECTORY] [--preview PNG_FILE]\n", argv[0]);
        return 2;
    }
    std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    auto fail = [](const std::string& message) {
        std::fprintf(stderr, "vario-make-images: %s\n", message.c_str());
        return 1;
    };
    if (std::string message = WriteFileWhole(dir / "plane2.ico", IconFileBytes()); !message.empty())
        return fail(message);
    if (icons && !WriteThemeIcons(*icons, "zevra-variometer")) return fail("cannot write " + icons->string());

    for (const BuiltInDialImage& face : kBuiltInDialImages)
        if (std::string message = WriteFileWhole(dir / face.file, DialImageBytes(BuiltInDial(face.dial)));
            !message.empty())
            return fail(message);

    struct Picture {
        const char* file;
        int side_px;
        void (*draw)(CairoSurface&);
    };
    const Picture pictures[] = {{"ago_mask.txr", kNeedleSidePx, DrawNeedleMask},
                                {"ago.txr", kNeedleSidePx, DrawNeedle},
                                {"setpos.txr", kOverlaySidePx, DrawPositionOverlay},
                                {"setsize.txr", kOverlaySidePx, DrawSizeOverlay}};
    for (const Picture& picture : pictures) {
        CairoSurface surface(picture.side_px);
        picture.draw(surface);
        if (std::string message = WriteFileWhole(dir / picture.file, surface.BitmapBytes()); !message.empty())
            return fail(message);
    }
    if (preview && !WritePreview(dir, *preview)) return fail("cannot write " + preview->string());
    return 0;
}
