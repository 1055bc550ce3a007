// Device-independent bitmap files: a file header, an info header (the old 12-byte core
// form or the 40-byte form and its longer successors), a palette, then pixel rows.
// Reads 1/4/8-bit paletted, 16/32-bit (plain or bit-field) and 24-bit pixels, bottom-up
// or top-down, and refuses everything else (compressed, truncated, absurdly large).
// A file is read no further than its headers say the image needs.
#include "gauge/image_file.h"

#include <algorithm>
#include <bit>

#include "common/little_endian.h"
#include "platform/system.h"

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kCompressionNone = 0;   // BI_RGB
constexpr uint32_t kCompressionMasks = 3;  // BI_BITFIELDS
// Larger than any texture the gauge can use; anything bigger is a damaged header, and
// refusing it keeps a small file from asking for gigabytes.
constexpr int64_t kMaxSidePx = 16384;
constexpr int64_t kMaxPixels = int64_t{1} << 24;
constexpr uint32_t kMaxInfoHeaderSize = 1024;
// Pixels follow the headers and the palette; a gap of megabytes is a damaged offset.
constexpr uint64_t kMaxPixelsAt = kFileHeaderSize + kMaxInfoHeaderSize + 12 + 256 * 4 + 65536;

// One colour channel held under a bit mask (16- and 32-bit pixels), widened to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    // False for a mask whose bits are not one run.
    bool Set(uint32_t m) {
        mask = m;
        if (m == 0) return true;
        shift = std::countr_zero(m);
        bits = std::popcount(m);
        return std::countr_one(m >> shift) == bits;
    }
    uint8_t Of(uint32_t pixel) const {
        if (mask == 0) return 0;
        uint32_t value = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
        return static_cast<uint8_t>(value * 255 / ((1u << bits) - 1));
    }
};

// Where a bitmap file keeps its parts, as its headers tell.
struct BitmapLayout {
    int64_t width = 0, height = 0;
    bool top_down = false;
    uint16_t bit_count = 0;
    bool paletted = false;
    Channel red, green, blue;
    uint64_t entry_size = 4;  // bytes of one palette entry
    uint64_t palette_entries = 0;
    uint64_t palette_at = 0;
    uint64_t pixels_at = 0;
    uint64_t stride = 0;  // bytes of one pixel row
    // One past the last byte the image needs.
    uint64_t End() const {
        return std::max(palette_at + palette_entries * entry_size, pixels_at + stride * static_cast<uint64_t>(height));
    }
};

// The layout from the headers alone, or none when they are not a bitmap this reader
// takes; `bytes` may be just the file's start (kBitmapHeadBytes).
std::optional<BitmapLayout> ReadLayout(std::span<const uint8_t> bytes) {
    if (bytes.size() < kFileHeaderSize + 4 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    BitmapLayout layout;
    layout.pixels_at = ReadU32(bytes, 10);
    const uint32_t header_size = ReadU32(bytes, kFileHeaderSize);
    const bool core = header_size == kCoreHeaderSize;
    if (!core && (header_size < kInfoHeaderSize || header_size > kMaxInfoHeaderSize)) return std::nullopt;
    if (kFileHeaderSize + header_size > bytes.size()) return std::nullopt;
    std::span<const uint8_t> header = bytes.subspan(kFileHeaderSize, header_size);

    int64_t width, height;
    uint16_t planes, bit_count;
    uint32_t compression = kCompressionNone, colours_used = 0;
    if (core) {
        width = ReadU16(header, 4);
        height = ReadU16(header, 6);
        planes = ReadU16(header, 8);
        bit_count = ReadU16(header, 10);
    } else {
        width = static_cast<int32_t>(ReadU32(header, 4));
        height = static_cast<int32_t>(ReadU32(header, 8));
        planes = ReadU16(header, 12);
        bit_count = ReadU16(header, 14);
        compression = ReadU32(header, 16);
        colours_used = ReadU32(header, 32);
    }
    // A negative height marks rows stored from the top down.
    layout.top_down = height < 0;
    if (layout.top_down) height = -height;
    if (planes != 1 || width <= 0 || height <= 0 || width > kMaxSidePx || height > kMaxSidePx ||
        width * height > kMaxPixels)
        return std::nullopt;
    layout.width = width;
    layout.height = height;
    layout.bit_count = bit_count;

    layout.paletted = bit_count == 1 || bit_count == 4 || bit_count == 8;
    if (compression == kCompressionNone) {
        if (!layout.paletted && bit_count != 16 && bit_count != 24 && bit_count != 32) return std::nullopt;
    } else if (compression != kCompressionMasks || (bit_count != 16 && bit_count != 32) || core) {
        return std::nullopt;
    }

    // Colour masks: in the header from its 52-byte form on, else just after a 40-byte header.
    layout.palette_at = kFileHeaderSize + header_size;
    uint64_t masks_end = 0;
    if (compression == kCompressionMasks) {
        uint64_t masks_at = kFileHeaderSize + kInfoHeaderSize;
        masks_end = masks_at + 12;
        if (header_size == kInfoHeaderSize) layout.palette_at += 12;
        if (masks_at + 12 > bytes.size()) return std::nullopt;
        if (!layout.red.Set(ReadU32(bytes, masks_at)) || !layout.green.Set(ReadU32(bytes, masks_at + 4)) ||
            !layout.blue.Set(ReadU32(bytes, masks_at + 8)))
            return std::nullopt;
        if (bit_count == 16 && ((layout.red.mask | layout.green.mask | layout.blue.mask) >> 16) != 0)
            return std::nullopt;
    } else if (bit_count == 16) {
        layout.red.Set(0x7C00), layout.green.Set(0x03E0), layout.blue.Set(0x001F);
    } else if (bit_count == 32) {
        layout.red.Set(0x00FF0000), layout.green.Set(0x0000FF00), layout.blue.Set(0x000000FF);
    }

    layout.entry_size = core ? 3 : 4;
    if (layout.paletted) {
        layout.palette_entries = colours_used ? colours_used : (1u << bit_count);
        if (layout.palette_entries > 256) return std::nullopt;
    } else if (colours_used > 256) {
        return std::nullopt;  // an optional palette beside true colour; no file has more
    }
    const uint64_t palette_end = layout.palette_at + (layout.paletted ? layout.palette_entries * layout.entry_size : 0);
    layout.stride = (static_cast<uint64_t>(width) * bit_count + 31) / 32 * 4;
    // Pixels start after the palette and the masks, so that what the headers say the file
    // needs (up to its last pixel) holds every byte the image is decoded from.
    if (layout.pixels_at < palette_end || layout.pixels_at < masks_end || layout.pixels_at > kMaxPixelsAt)
        return std::nullopt;
    return layout;
}

}  // namespace

std::optional<uint64_t> BitmapFileExtent(std::span<const uint8_t> head) {
    std::optional<BitmapLayout> layout = ReadLayout(head);
    if (!layout) return std::nullopt;
    return layout->End();
}

std::optional<GaugeImage> DecodeBitmapFile(std::span<const uint8_t> bytes) {
    std::optional<BitmapLayout> found = ReadLayout(bytes);
    if (!found || found->End() > bytes.size()) return std::nullopt;
    const BitmapLayout& layout = *found;
    const int64_t width = layout.width, height = layout.height;
    const uint16_t bit_count = layout.bit_count;
    const bool paletted = layout.paletted;
    const uint64_t stride = layout.stride, pixels_at = layout.pixels_at, palette_at = layout.palette_at;
    const uint64_t entry_size = layout.entry_size, palette_entries = layout.palette_entries;
    const Channel &red = layout.red, &green = layout.green, &blue = layout.blue;
    const bool top_down = layout.top_down;

    GaugeImage image;
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    image.rgb.resize(static_cast<size_t>(width * height * 3));
    for (int64_t y = 0; y < height; ++y) {
        const int64_t file_row = top_down ? height - 1 - y : y;
        const uint8_t* row = bytes.data() + pixels_at + stride * static_cast<uint64_t>(file_row);
        uint8_t* out = image.rgb.data() + y * width * 3;
        for (int64_t x = 0; x < width; ++x, out += 3) {
            if (paletted) {
                const unsigned per_byte = 8 / bit_count;
                const unsigned shift = 8 - bit_count * (1 + static_cast<unsigned>(x) % per_byte);
                const unsigned index = (row[x / per_byte] >> shift) & ((1u << bit_count) - 1);
                if (index >= palette_entries) return std::nullopt;
                const uint8_t* entry = bytes.data() + palette_at + index * entry_size;
                out[0] = entry[2], out[1] = entry[1], out[2] = entry[0];
            } else if (bit_count == 24) {
                out[0] = row[x * 3 + 2], out[1] = row[x * 3 + 1], out[2] = row[x * 3];
            } else {
                const uint32_t pixel = bit_count == 16
                                           ? uint32_t{row[x * 2]} | uint32_t{row[x * 2 + 1]} << 8
                                           : uint32_t{row[x * 4]} | uint32_t{row[x * 4 + 1]} << 8 |
                                                 uint32_t{row[x * 4 + 2]} << 16 | uint32_t{row[x * 4 + 3]} << 24;
                out[0] = red.Of(pixel), out[1] = green.Of(pixel), out[2] = blue.Of(pixel);
            }
        }
    }
    return image;
}

std::optional<GaugeImage> LoadImageFile(const std::string& name) {
    if (name.empty()) return std::nullopt;
    // The headers first, then no more of the file than they say the image needs.
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!platform::ReadFileStart(name, kBitmapHeadBytes, bytes, reason)) return std::nullopt;
    std::optional<uint64_t> extent = BitmapFileExtent(bytes);
    if (!extent) return std::nullopt;
    if (*extent > bytes.size() && !platform::ReadFileStart(name, static_cast<size_t>(*extent), bytes, reason))
        return std::nullopt;
    return DecodeBitmapFile(bytes);
}
