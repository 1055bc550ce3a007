// The application's icon in both forms (see app_icon.h): one drawing, scaled to each size.
#include "tools/app_icon.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <system_error>

#include "common/little_endian.h"

namespace {

// An aircraft from above, nose up, white on a dark blue disc.
void DrawPlane(cairo_t* cr, int side) {
    double s = side;
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_arc(cr, s / 2, s / 2, s * 0.48, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.08, 0.12, 0.25);
    cairo_fill(cr);
    cairo_scale(cr, s / 32.0, s / 32.0);
    cairo_set_source_rgb(cr, 1, 1, 1);
    // fuselage
    cairo_move_to(cr, 16, 3);
    cairo_curve_to(cr, 17.6, 3, 17.6, 6, 17.6, 9);
    cairo_line_to(cr, 17.4, 23);
    cairo_line_to(cr, 16, 28);
    cairo_line_to(cr, 14.6, 23);
    cairo_line_to(cr, 14.4, 9);
    cairo_curve_to(cr, 14.4, 6, 14.4, 3, 16, 3);
    cairo_fill(cr);
    // wings
    cairo_move_to(cr, 15, 11);
    cairo_line_to(cr, 3, 16);
    cairo_line_to(cr, 3, 18);
    cairo_line_to(cr, 15, 16);
    cairo_line_to(cr, 17, 16);
    cairo_line_to(cr, 29, 18);
    cairo_line_to(cr, 29, 16);
    cairo_line_to(cr, 17, 11);
    cairo_close_path(cr);
    cairo_fill(cr);
    // tailplane
    cairo_move_to(cr, 15.2, 23);
    cairo_line_to(cr, 10, 26);
    cairo_line_to(cr, 10, 27.3);
    cairo_line_to(cr, 16, 26.2);
    cairo_line_to(cr, 22, 27.3);
    cairo_line_to(cr, 22, 26);
    cairo_line_to(cr, 16.8, 23);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// The drawing at SIDE x SIDE pixels with alpha; the caller destroys the surface.
cairo_surface_t* PlaneSurface(int side) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side);
    cairo_t* cr = cairo_create(surface);
    DrawPlane(cr, side);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

// One icon image as a headerless 32-bit bitmap: colour rows bottom-up, then the mask.
std::vector<uint8_t> IconBitmap(int side) {
    cairo_surface_t* surface = PlaneSurface(side);
    const uint8_t* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);

    std::vector<uint8_t> out;
    PutU32(out, 40);
    PutU32(out, static_cast<uint32_t>(side));
    PutU32(out, static_cast<uint32_t>(side * 2));
    PutU16(out, 1);
    PutU16(out, 32);
    for (int i = 0; i < 6; ++i) PutU32(out, 0);
    for (int y = side - 1; y >= 0; --y) {
        for (int x = 0; x < side; ++x) {
            uint32_t px = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
            uint32_t a = px >> 24;
            // cairo stores premultiplied colour; icons want it straight.
            auto unmultiply = [a](uint32_t c) {
                return a ? static_cast<uint8_t>(std::min<uint32_t>(255, c * 255 / a)) : 0;
            };
            out.push_back(unmultiply(px & 0xFF));
            out.push_back(unmultiply((px >> 8) & 0xFF));
            out.push_back(unmultiply((px >> 16) & 0xFF));
            out.push_back(static_cast<uint8_t>(a));
        }
    }
    int mask_stride = ((side + 31) / 32) * 4;
    for (int y = side - 1; y >= 0; --y) {
        std::vector<uint8_t> row(static_cast<size_t>(mask_stride), 0);
        for (int x = 0; x < side; ++x) {
            uint32_t px = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
            if ((px >> 24) == 0) row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    cairo_surface_destroy(surface);
    return out;
}

}  // namespace

std::vector<uint8_t> IconFileBytes() {
    const int sides[] = {16, 32, 48};
    std::vector<std::vector<uint8_t>> images;
    for (int side : sides) images.push_back(IconBitmap(side));
    std::vector<uint8_t> out;
    PutU16(out, 0);
    PutU16(out, 1);
    PutU16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<uint8_t>(sides[i]));
        out.push_back(static_cast<uint8_t>(sides[i]));
        out.push_back(0);
        out.push_back(0);
        PutU16(out, 1);
        PutU16(out, 32);
        PutU32(out, static_cast<uint32_t>(images[i].size()));
        PutU32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

bool WriteThemeIcons(const std::filesystem::path& theme_dir, const char* name) {
    const int sides[] = {16, 22, 24, 32, 48, 64, 128, 256};
    for (int side : sides) {
        const std::string size = std::to_string(side) + "x" + std::to_string(side);
        const std::filesystem::path folder = theme_dir / "hicolor" / size / "apps";
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        cairo_surface_t* surface = PlaneSurface(side);
        const std::filesystem::path file = folder / (std::string(name) + ".png");
        const cairo_status_t status = cairo_surface_write_to_png(surface, file.c_str());
        cairo_surface_destroy(surface);
        if (status != CAIRO_STATUS_SUCCESS) return false;
    }
    return true;
}
