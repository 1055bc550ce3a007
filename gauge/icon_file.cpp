// Icon files hold a directory of images, each either a PNG stream or a headerless
// device-independent bitmap (colour rows of twice the height, then a 1-bit mask).
#include "gauge/icon_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/error.h"
#include "common/little_endian.h"
#include "common/text.h"
#include "platform/system.h"

#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

constexpr const char* kCannotOpenFile = "Cannot open file \"%s\". %s";
constexpr const char* kIconNotValid = "Icon image is not valid";
constexpr int kMaxIconSide = 1024;  // icons are at most 256 pixels; anything far larger is corrupt
constexpr size_t kIconDirectoryHeaderBytes = 6;
constexpr size_t kIconEntryBytes = 16;
// An icon file holds a few sizes and depths of one picture; more entries, or an image
// larger than the largest side at 32 bits with its mask and headers, is a damaged file.
constexpr size_t kMaxIconEntries = 256;
constexpr uint64_t kMaxIconImageBytes = uint64_t{kMaxIconSide} * kMaxIconSide * 4 * 2 + 65536;
constexpr uint64_t kMaxIconFileBytes = 4 * kMaxIconImageBytes;

// Whether a directory entry's image is one the reader looks at: present, of a sane
// size, and within the part of the file an icon can need.
bool SaneEntry(uint64_t size, uint64_t offset) {
    return size != 0 && size <= kMaxIconImageBytes && offset + size <= kMaxIconFileBytes;
}

std::optional<IconImage> DecodePng(std::span<const uint8_t> data) {
    if (data.size() > 0x7FFFFFFF) return std::nullopt;
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data.data(), static_cast<int>(data.size()), &width, &height, &channels) || width <= 0 ||
        height <= 0 || width > kMaxIconSide || height > kMaxIconSide)
        return std::nullopt;
    stbi_uc* pixels = stbi_load_from_memory(data.data(), static_cast<int>(data.size()), &width, &height, &channels, 4);
    if (!pixels) return std::nullopt;
    IconImage image;
    image.width = width;
    image.height = height;
    image.rgba.assign(pixels, pixels + static_cast<size_t>(width) * height * 4);
    stbi_image_free(pixels);
    return image;
}

std::optional<IconImage> DecodeBitmap(std::span<const uint8_t> data) {
    if (data.size() < 40) return std::nullopt;
    uint32_t header_size = ReadU32(data, 0);
    int32_t width = static_cast<int32_t>(ReadU32(data, 4));
    int32_t double_height = static_cast<int32_t>(ReadU32(data, 8));
    uint16_t bit_count = ReadU16(data, 14);
    uint32_t compression = ReadU32(data, 16);
    uint32_t colours_used = ReadU32(data, 32);
    if (header_size < 40 || header_size > data.size()) return std::nullopt;
    if (width <= 0 || width > kMaxIconSide || double_height <= 0 || double_height > 2 * kMaxIconSide)
        return std::nullopt;
    if (compression != 0 && !(compression == 3 && bit_count == 32)) return std::nullopt;
    if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24 && bit_count != 32) return std::nullopt;
    const int height = double_height / 2;
    if (height <= 0) return std::nullopt;

    uint64_t palette_entries = bit_count <= 8 ? (colours_used ? colours_used : (1u << bit_count)) : 0;
    if (palette_entries > 256) return std::nullopt;
    uint64_t palette_at = header_size + (compression == 3 && header_size == 40 ? 12 : 0);
    uint64_t pixels_at = palette_at + palette_entries * 4;
    uint64_t colour_stride = ((static_cast<uint64_t>(width) * bit_count + 31) / 32) * 4;
    uint64_t mask_stride = ((static_cast<uint64_t>(width) + 31) / 32) * 4;
    uint64_t mask_at = pixels_at + colour_stride * height;
    bool has_mask = mask_at + mask_stride * height <= data.size();
    if (mask_at > data.size()) return std::nullopt;

    IconImage image;
    image.width = width;
    image.height = height;
    image.rgba.assign(static_cast<size_t>(width) * height * 4, 0);
    bool any_alpha = false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = data.data() + pixels_at + colour_stride * static_cast<uint64_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            uint8_t* out = &image.rgba[(static_cast<size_t>(y) * width + x) * 4];
            uint8_t r, g, b, a = 255;
            if (bit_count == 32) {
                b = row[x * 4];
                g = row[x * 4 + 1];
                r = row[x * 4 + 2];
                a = row[x * 4 + 3];
                any_alpha = any_alpha || a != 0;
            } else if (bit_count == 24) {
                b = row[x * 3];
                g = row[x * 3 + 1];
                r = row[x * 3 + 2];
            } else {
                unsigned per_byte = 8 / bit_count;
                unsigned shift = 8 - bit_count * (1 + x % per_byte);
                unsigned index = (row[x / per_byte] >> shift) & ((1u << bit_count) - 1);
                if (index >= palette_entries) return std::nullopt;
                const uint8_t* entry = data.data() + palette_at + index * 4;
                b = entry[0];
                g = entry[1];
                r = entry[2];
            }
            out[0] = r;
            out[1] = g;
            out[2] = b;
            out[3] = a;
        }
    }
    // Without an alpha channel of its own, the image's transparency is its 1-bit mask.
    if (bit_count != 32 || !any_alpha) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* row =
                has_mask ? data.data() + mask_at + mask_stride * static_cast<uint64_t>(height - 1 - y) : nullptr;
            for (int x = 0; x < width; ++x) {
                bool transparent = row && ((row[x / 8] >> (7 - x % 8)) & 1);
                image.rgba[(static_cast<size_t>(y) * width + x) * 4 + 3] = transparent ? 0 : 255;
            }
        }
    }
    return image;
}

}  // namespace

std::optional<uint64_t> IconFileExtent(std::span<const uint8_t> head) {
    if (head.size() < kIconDirectoryHeaderBytes || ReadU16(head, 0) != 0 || ReadU16(head, 2) != 1) return std::nullopt;
    const size_t count = ReadU16(head, 4);
    const uint64_t directory_end = kIconDirectoryHeaderBytes + kIconEntryBytes * count;
    if (count == 0 || count > kMaxIconEntries) return std::nullopt;
    if (head.size() < directory_end) return directory_end;
    uint64_t end = directory_end;
    for (size_t i = 0; i < count; ++i) {
        size_t entry = kIconDirectoryHeaderBytes + kIconEntryBytes * i;
        uint64_t size = ReadU32(head, entry + 8), offset = ReadU32(head, entry + 12);
        if (SaneEntry(size, offset)) end = std::max(end, offset + size);
    }
    return end;
}

std::optional<IconImage> DecodeIconFile(std::span<const uint8_t> bytes) {
    if (bytes.size() < 6 || ReadU16(bytes, 0) != 0 || ReadU16(bytes, 2) != 1) return std::nullopt;
    const size_t count = ReadU16(bytes, 4);
    if (count == 0 || count > kMaxIconEntries || bytes.size() < 6 + 16 * count) return std::nullopt;

    // Largest image first, then the deepest colour.
    size_t best = count;
    uint64_t best_rank = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t entry = 6 + 16 * i;
        uint64_t side_w = bytes[entry] ? bytes[entry] : 256, side_h = bytes[entry + 1] ? bytes[entry + 1] : 256;
        uint64_t rank = (side_w * side_h) << 16 | ReadU16(bytes, entry + 6);
        uint64_t size = ReadU32(bytes, entry + 8), offset = ReadU32(bytes, entry + 12);
        if (!SaneEntry(size, offset) || offset + size > bytes.size()) continue;
        if (best == count || rank > best_rank) {
            best = i;
            best_rank = rank;
        }
    }
    if (best == count) return std::nullopt;
    size_t entry = 6 + 16 * best;
    std::span<const uint8_t> data = bytes.subspan(ReadU32(bytes, entry + 12), ReadU32(bytes, entry + 8));
    static constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (data.size() >= 8 && std::memcmp(data.data(), kPngSignature, 8) == 0) return DecodePng(data);
    return DecodeBitmap(data);
}

IconImage LoadIconFile(const std::string& path) {
    // The directory first, then no more of the file than its entries reach.
    std::vector<uint8_t> bytes;
    std::string reason;
    uint64_t read_bytes = kIconDirectoryHeaderBytes;
    for (int pass = 0; pass < 3; ++pass) {
        if (!platform::ReadFileStart(path, static_cast<size_t>(read_bytes), bytes, reason))
            throw EVarioError(FormatText(kCannotOpenFile, {path, reason}));
        std::optional<uint64_t> extent = IconFileExtent(bytes);
        if (!extent || *extent <= read_bytes || bytes.size() < read_bytes) break;
        read_bytes = *extent;
    }
    std::optional<IconImage> icon = DecodeIconFile(bytes);
    if (!icon) throw EVarioError(kIconNotValid);
    return *icon;
}

void LoadApplicationIcon() {
    platform::SetApplicationIcon(LoadIconFile(platform::JoinPath(platform::WorkingDirectory(), kIconFileName)));
}
