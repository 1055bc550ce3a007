// Draws the gauge's image files with cairo at build time: the application icon
// "plane2.ico" (app_icon.cpp) and the five bitmaps the gauge is drawn with (dial, needle
// mask, needle, position and size overlays), and with --icons the icon theme's PNG set
// for the Linux package. Every mark of the dial is placed by the gauge's own scale.
// Usage: vario-make-images OUTPUT_DIRECTORY [--icons THEME_DIRECTORY] [--preview PNG_FILE]
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "gauge/image_file.h"
#include "gauge/vertical_speed_scale.h"
#include "tools/app_icon.h"

namespace {

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

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

constexpr int kDialSidePx = 512;
constexpr int kNeedleSidePx = 512;
constexpr int kOverlaySidePx = 256;

// Dial layout, inside the visible circle of 0.828.
constexpr double kBezelOuterR = 0.815;
constexpr double kFaceR = 0.775;
constexpr double kTickOuterR = 0.655;
constexpr double kMajorTickInnerR = 0.53;
constexpr double kMinorTickInnerR = 0.595;
constexpr double kLabelR = 0.718;
// The needle reaches into the tick band, and stays inside its quad.
constexpr double kNeedleTipR = 0.635;
constexpr double kNeedleTailR = 0.15;
constexpr double kHubR = 0.062;
constexpr double kMaskOutline = 0.012;  // dark rim the mask leaves around the needle

constexpr const char* kFont = "DejaVu Sans";

struct Surface {
    cairo_surface_t* surface;
    cairo_t* cr;

    explicit Surface(int side) {
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, side, side);
        cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
    }
    ~Surface() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // User units become dial units, for a picture spanning -half_extent..half_extent.
    void UseDialUnits(double half_extent) {
        int side = cairo_image_surface_get_width(surface);
        cairo_translate(cr, side / 2.0, side / 2.0);
        cairo_scale(cr, side / 2.0 / half_extent, side / 2.0 / half_extent);
    }
};

struct Point {
    double x, y;
};

Point AtAngle(double angle_deg, double radius) {
    double a = angle_deg * M_PI / 180;
    return {-radius * std::cos(a), -radius * std::sin(a)};
}

// Text centred on a point, upright.
void CentredText(cairo_t* cr, const char* text, Point at, double size, bool bold = true) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    cairo_move_to(cr, at.x - extents.x_bearing - extents.width / 2, at.y - extents.y_bearing - extents.height / 2);
    cairo_show_text(cr, text);
}

void Tick(cairo_t* cr, double vertical_speed_fpm, double inner_r, double width) {
    double angle_deg = VerticalSpeedToAngle(vertical_speed_fpm);
    Point from = AtAngle(angle_deg, inner_r), to = AtAngle(angle_deg, kTickOuterR);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_move_to(cr, from.x, from.y);
    cairo_line_to(cr, to.x, to.y);
    cairo_stroke(cr);
}

// A small filled arrowhead at a point, pointing along a direction (degrees, cairo's).
void ArrowHead(cairo_t* cr, Point tip, double direction_deg, double length, double half_width) {
    double a = direction_deg * M_PI / 180;
    double ux = std::cos(a), uy = std::sin(a);
    cairo_move_to(cr, tip.x, tip.y);
    cairo_line_to(cr, tip.x - ux * length - uy * half_width, tip.y - uy * length + ux * half_width);
    cairo_line_to(cr, tip.x - ux * length + uy * half_width, tip.y - uy * length - ux * half_width);
    cairo_close_path(cr);
    cairo_fill(cr);
}

struct Colour {
    double r, g, b;
};

// A disc shaded from a light spot (at `spot`) to its rim.
void FillDisc(cairo_t* cr, double radius, Point spot, Colour inner, Colour rim) {
    cairo_pattern_t* shade = cairo_pattern_create_radial(spot.x, spot.y, 0, 0, 0, radius);
    cairo_pattern_add_color_stop_rgb(shade, 0, inner.r, inner.g, inner.b);
    cairo_pattern_add_color_stop_rgb(shade, 1, rim.r, rim.g, rim.b);
    cairo_arc(cr, 0, 0, radius, 0, 2 * M_PI);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
}

// The dial face: bezel, dark face, ticks every 100 ft/min up to 2000 and every 500
// beyond, labels in hundreds of feet per minute, UP and DOWN, and the caption.
void DrawDial(Surface& s) {
    cairo_t* cr = s.cr;
    s.UseDialUnits(kDialQuadHalf);

    FillDisc(cr, kBezelOuterR, {-0.2, -0.25}, {0.42, 0.42, 0.44}, {0.16, 0.16, 0.17});
    FillDisc(cr, kFaceR, {0, 0}, {0.11, 0.11, 0.12}, {0.05, 0.05, 0.055});

    cairo_set_source_rgb(cr, 0.95, 0.95, 0.93);
    for (int side : {1, -1}) {
        for (int fpm = 100; fpm < 2000; fpm += 100)
            if (fpm % 500 != 0) Tick(cr, side * fpm, kMinorTickInnerR, 0.009);
        for (int fpm = 2500; fpm < 6000; fpm += 1000) Tick(cr, side * fpm, kMinorTickInnerR, 0.009);
        for (int fpm : {500, 1000, 1500, 2000, 3000, 4000, 5000, 6000}) Tick(cr, side * fpm, kMajorTickInnerR, 0.018);
    }
    Tick(cr, 0, kMajorTickInnerR - 0.03, 0.024);

    struct Label {
        int fpm;
        const char* text;
    };
    const Label labels[] = {{0, "0"},     {500, "5"},   {1000, "10"}, {1500, "15"},
                            {2000, "20"}, {3000, "30"}, {4000, "40"}, {6000, "60"}};
    for (const Label& label : labels) {
        for (int side : {1, -1}) {
            if (label.fpm == 0 && side < 0) continue;
            CentredText(cr, label.text, AtAngle(VerticalSpeedToAngle(side * label.fpm), kLabelR), 0.095);
        }
    }

    // UP and DOWN inside the scale, each with an arrow turning the way the needle goes.
    for (int side : {1, -1}) {
        double word_deg = side * 40.0;
        Point word = AtAngle(word_deg, 0.36);
        CentredText(cr, side > 0 ? "UP" : "DOWN", word, 0.075);
        double from_deg = side * 12.0, to_deg = side * 62.0, arc_r = 0.45;
        cairo_set_line_width(cr, 0.014);
        cairo_new_path(cr);
        // Cairo's angles run clockwise on screen from three o'clock; ours from nine.
        double start = (180 + from_deg) * M_PI / 180, end = (180 + to_deg) * M_PI / 180;
        if (side > 0) cairo_arc(cr, 0, 0, arc_r, start, end - 0.09);
        else cairo_arc_negative(cr, 0, 0, arc_r, start, end + 0.09);
        cairo_stroke(cr);
        Point tip = AtAngle(to_deg, arc_r);
        // The tangent of a clockwise turn (on screen) at our angle a points to a + 90 deg in cairo's terms.
        double tangent_deg = 180 + to_deg + side * 90.0;
        ArrowHead(cr, tip, tangent_deg, 0.05, 0.026);
    }

    cairo_set_source_rgb(cr, 0.85, 0.85, 0.82);
    CentredText(cr, "VERTICAL", {0.31, -0.17}, 0.06);
    CentredText(cr, "SPEED", {0.31, -0.095}, 0.06);
    CentredText(cr,
                "\xC3\x97"
                "100 FT/MIN",
                {0.31, 0.12}, 0.05, false);

    // Stop pin in the gap between the two ends of the scale.
    Point pin = AtAngle(180, 0.6);
    cairo_arc(cr, pin.x, pin.y, 0.018, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.35, 0.35, 0.36);
    cairo_fill(cr);
}

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
void DrawNeedleMask(Surface& s) {
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
void DrawNeedle(Surface& s) {
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
void OverlayUnits(Surface& s) {
    int side = cairo_image_surface_get_width(s.surface);
    cairo_translate(s.cr, side / 2.0, side / 2.0);
    cairo_scale(s.cr, side / 2.0, side / 2.0);
    cairo_set_source_rgb(s.cr, 0.1, 1, 0.1);
}

// A straight arrow from one point to another with a filled head.
void Arrow(cairo_t* cr, Point from, Point to, double width) {
    double direction_deg = std::atan2(to.y - from.y, to.x - from.x) * 180 / M_PI;
    double a = direction_deg * M_PI / 180, head = width * 3.2;
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, from.x, from.y);
    cairo_line_to(cr, to.x - std::cos(a) * head * 0.8, to.y - std::sin(a) * head * 0.8);
    cairo_stroke(cr);
    ArrowHead(cr, to, direction_deg, head, head * 0.6);
}

// Position mode: the arrow keys move the window, so four arrows outwards and "POS".
void DrawPositionOverlay(Surface& s) {
    OverlayUnits(s);
    cairo_t* cr = s.cr;
    for (double deg : {0.0, 90.0, 180.0, 270.0}) {
        double a = deg * M_PI / 180;
        Arrow(cr, {0.42 * std::cos(a), 0.42 * std::sin(a)}, {0.92 * std::cos(a), 0.92 * std::sin(a)}, 0.07);
    }
    CentredText(cr, "POS", {0, 0}, 0.3);
}

// Size mode: the arrow keys resize the window, so a frame with a corner dragged
// outwards and "SIZE".
void DrawSizeOverlay(Surface& s) {
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
    CentredText(cr, "SIZE", {-0.28, -0.28}, 0.26);
}

// A 24-bit device-independent bitmap file of a cairo picture, rows from the bottom up.
bool WriteBitmap(const std::filesystem::path& path, cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint8_t* data = cairo_image_surface_get_data(surface);
    const uint32_t row_bytes = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
    const uint32_t pixel_bytes = row_bytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    PutU32(out, 14 + 40 + pixel_bytes);
    PutU32(out, 0);
    PutU32(out, 14 + 40);
    PutU32(out, 40);
    PutU32(out, static_cast<uint32_t>(width));
    PutU32(out, static_cast<uint32_t>(height));
    PutU16(out, 1);
    PutU16(out, 24);
    PutU32(out, 0);
    PutU32(out, pixel_bytes);
    PutU32(out, 2835);  // 72 dots per inch
    PutU32(out, 2835);
    PutU32(out, 0);
    PutU32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = data + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            uint32_t px = *reinterpret_cast<const uint32_t*>(row + x * 4);
            out.push_back(static_cast<uint8_t>(px));        // blue
            out.push_back(static_cast<uint8_t>(px >> 8));   // green
            out.push_back(static_cast<uint8_t>(px >> 16));  // red
        }
        out.resize(out.size() + (row_bytes - static_cast<uint32_t>(width) * 3), 0);
    }
    return WriteFile(path, out);
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
        CentredText(cr, caption, {left + kPanelPx / 2.0, top + kPanelPx + kCaptionPx / 2.0}, 15, false);
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
    auto fail = [](const std::filesystem::path& path) {
        std::fprintf(stderr, "vario-make-images: cannot write %s\n", path.string().c_str());
        return 1;
    };
    if (!WriteFile(dir / "plane2.ico", IconFileBytes())) return fail(dir / "plane2.ico");
    if (icons && !WriteThemeIcons(*icons, "zevra-variometer")) return fail(*icons);

    struct Picture {
        const char* file;
        int side_px;
        void (*draw)(Surface&);
    };
    const Picture pictures[] = {{"vario.txr", kDialSidePx, DrawDial},
                                {"ago_mask.txr", kNeedleSidePx, DrawNeedleMask},
                                {"ago.txr", kNeedleSidePx, DrawNeedle},
                                {"setpos.txr", kOverlaySidePx, DrawPositionOverlay},
                                {"setsize.txr", kOverlaySidePx, DrawSizeOverlay}};
    for (const Picture& picture : pictures) {
        Surface surface(picture.side_px);
        picture.draw(surface);
        if (!WriteBitmap(dir / picture.file, surface.surface)) return fail(dir / picture.file);
    }
    if (preview && !WritePreview(dir, *preview)) return fail(*preview);
    return 0;
}
