// Bitmap files and whole-file writes (bitmap_file.h).
#include "tools/bitmap_file.h"

#include <fstream>
#include <system_error>

#include "common/little_endian.h"

std::vector<uint8_t> BitmapFileBytes(const uint8_t* pixels, int width, int height, int stride) {
    const uint32_t row_bytes = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
    const uint32_t pixel_bytes = row_bytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> out;
    out.reserve(14 + 40 + pixel_bytes);
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
        const uint8_t* row = pixels + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) out.insert(out.end(), row + x * 4, row + x * 4 + 3);
        out.resize(out.size() + (row_bytes - static_cast<uint32_t>(width) * 3), 0);
    }
    return out;
}

std::string WriteFileWhole(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::path part = path;
    part += ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (out) out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(part, ignored);
            return "cannot write " + part.string();
        }
    }
    std::error_code error;
    std::filesystem::rename(part, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
        return "cannot rename " + part.string() + " to " + path.string() + ": " + error.message();
    }
    return {};
}
