// The bitmap reader behind the gauge's ".txr" images: the layouts it reads, the
// damaged files it refuses, and reading from the working directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "common/little_endian.h"
#include "gauge/image_file.h"
#include "temp_dir.h"

namespace {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};
using Picture = std::vector<std::vector<Rgb>>;  // rows from the top of the picture

constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0},
    kMagenta{255, 0, 255};
const Picture kSixColours = {{kRed, kGreen, kBlue}, {kWhite, kBlack, kMagenta}};
const Picture kTwoColoursAcrossBytes = {{kWhite, kBlack, kBlack, kWhite, kBlack, kWhite, kWhite, kBlack, kWhite},
                                        {kBlack, kWhite, kWhite, kBlack, kWhite, kBlack, kBlack, kWhite, kBlack}};

// How a test writes a picture into a bitmap file.
struct Layout {
    uint32_t header_size = 40;  // 12 is the old core header
    uint16_t bits = 24;
    uint32_t compression = 0;  // 3: colour masks
    bool top_down = false;
    std::array<uint32_t, 3> masks{};  // red, green, blue; for 16/32 bits
    bool full_palette = false;        // all 2^bits entries, not just the colours used
};

void SetU16(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    bytes[at] = static_cast<uint8_t>(v);
    bytes[at + 1] = static_cast<uint8_t>(v >> 8);
}
void SetU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    SetU16(bytes, at, v & 0xFFFF);
    SetU16(bytes, at + 2, v >> 16);
}

uint32_t PackChannel(uint8_t value, uint32_t mask) {
    if (mask == 0) return 0;
    int bits = std::popcount(mask);
    return (static_cast<uint32_t>(value) >> (8 - bits)) << std::countr_zero(mask);
}

std::vector<uint8_t> EncodeBitmap(const Picture& picture, const Layout& layout) {
    const uint32_t width = static_cast<uint32_t>(picture[0].size()), height = static_cast<uint32_t>(picture.size());
    const bool core = layout.header_size == 12, paletted = layout.bits <= 8;
    std::vector<Rgb> palette;
    if (paletted) {
        for (const auto& row : picture)
            for (Rgb c : row)
                if (std::find(palette.begin(), palette.end(), c) == palette.end()) palette.push_back(c);
        if (layout.full_palette || core) palette.resize(1u << layout.bits, kBlack);
    }
    std::array<uint32_t, 3> masks = layout.masks;
    if (layout.compression == 0 && layout.bits == 16) masks = {0x7C00, 0x03E0, 0x001F};
    if (layout.compression == 0 && layout.bits == 32) masks = {0xFF0000, 0xFF00, 0xFF};
    const bool masks_after_header = layout.compression == 3 && layout.header_size == 40;

    const uint32_t stride = (width * layout.bits + 31) / 32 * 4;
    const uint32_t pixels_at = 14 + layout.header_size + (masks_after_header ? 12 : 0) +
                               static_cast<uint32_t>(palette.size()) * (core ? 3 : 4);
    std::vector<uint8_t> out = {'B', 'M'};
    PutU32(out, pixels_at + stride * height);
    PutU32(out, 0);
    PutU32(out, pixels_at);
    PutU32(out, layout.header_size);
    if (core) {
        PutU16(out, width);
        PutU16(out, height);
        PutU16(out, 1);
        PutU16(out, layout.bits);
    } else {
        PutU32(out, width);
        PutU32(out, layout.top_down ? static_cast<uint32_t>(-static_cast<int32_t>(height)) : height);
        PutU16(out, 1);
        PutU16(out, layout.bits);
        PutU32(out, layout.compression);
        PutU32(out, stride * height);
        PutU32(out, 2835);
        PutU32(out, 2835);
        PutU32(out, paletted && !layout.full_palette ? static_cast<uint32_t>(palette.size()) : 0);
        PutU32(out, 0);
        if (layout.header_size >= 52)
            for (uint32_t m : masks) PutU32(out, m);
        out.resize(14 + layout.header_size, 0);
        if (masks_after_header)
            for (uint32_t m : masks) PutU32(out, m);
    }
    for (Rgb c : palette) {
        out.insert(out.end(), {c.b, c.g, c.r});
        if (!core) out.push_back(0);
    }
    for (uint32_t file_row = 0; file_row < height; ++file_row) {
        const auto& row = picture[layout.top_down ? file_row : height - 1 - file_row];
        std::vector<uint8_t> bytes(stride, 0);
        for (uint32_t x = 0; x < width; ++x) {
            Rgb c = row[x];
            if (paletted) {
                uint32_t index = static_cast<uint32_t>(std::find(palette.begin(), palette.end(), c) - palette.begin());
                uint32_t bit = x * layout.bits;
                bytes[bit / 8] |= static_cast<uint8_t>(index << (8 - layout.bits - bit % 8));
            } else if (layout.bits == 24) {
                bytes[x * 3] = c.b, bytes[x * 3 + 1] = c.g, bytes[x * 3 + 2] = c.r;
            } else {
                uint32_t px = PackChannel(c.r, masks[0]) | PackChannel(c.g, masks[1]) | PackChannel(c.b, masks[2]);
                for (uint32_t i = 0; i < layout.bits / 8u; ++i)
                    bytes[x * layout.bits / 8 + i] = static_cast<uint8_t>(px >> (8 * i));
            }
        }
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

// What the reader must give: the picture's pixels, bottom row first.
std::vector<uint8_t> BottomUpRgb(const Picture& picture) {
    std::vector<uint8_t> rgb;
    for (auto row = picture.rbegin(); row != picture.rend(); ++row)
        for (Rgb c : *row) rgb.insert(rgb.end(), {c.r, c.g, c.b});
    return rgb;
}

struct GoodCase {
    const char* name;
    const Picture* picture;
    Layout layout;
};

void PrintTo(const GoodCase& c, std::ostream* os) { *os << c.name; }

class ReadableBitmap : public testing::TestWithParam<GoodCase> {};

TEST_P(ReadableBitmap, GivesRgbRowsFromTheBottomUp) {
    const GoodCase& c = GetParam();
    std::optional<GaugeImage> image = DecodeBitmapFile(EncodeBitmap(*c.picture, c.layout));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, static_cast<int32_t>((*c.picture)[0].size()));
    EXPECT_EQ(image->height, static_cast<int32_t>(c.picture->size()));
    EXPECT_EQ(image->rgb, BottomUpRgb(*c.picture));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ReadableBitmap,
    testing::Values(
        GoodCase{"Bits24WithRowPadding", &kSixColours, {}}, GoodCase{"Bits24TopDown", &kSixColours, {.top_down = true}},
        GoodCase{"Bits8ShortPalette", &kSixColours, {.bits = 8}},
        GoodCase{"Bits8FullPalette", &kSixColours, {.bits = 8, .full_palette = true}},
        GoodCase{"Bits8TopDown", &kSixColours, {.bits = 8, .top_down = true}},
        GoodCase{"Bits4", &kSixColours, {.bits = 4}},
        GoodCase{"Bits1AcrossBytes", &kTwoColoursAcrossBytes, {.bits = 1}},
        GoodCase{"Bits16Plain", &kSixColours, {.bits = 16}},
        GoodCase{"Bits16Masks565", &kSixColours, {.bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}}},
        GoodCase{"Bits32Plain", &kSixColours, {.bits = 32}},
        GoodCase{
            "Bits32MasksInOtherOrder", &kSixColours, {.bits = 32, .compression = 3, .masks = {0xFF, 0xFF00, 0xFF0000}}},
        GoodCase{"Bits32MasksInLongHeader",
                 &kSixColours,
                 {.header_size = 124, .bits = 32, .compression = 3, .masks = {0xFF000000, 0xFF0000, 0xFF00}}},
        GoodCase{"Bits24LongHeader", &kSixColours, {.header_size = 108}},
        GoodCase{"CoreHeaderBits24", &kSixColours, {.header_size = 12}},
        GoodCase{"CoreHeaderBits8", &kSixColours, {.header_size = 12, .bits = 8}}),
    [](const testing::TestParamInfo<GoodCase>& case_info) { return std::string(case_info.param.name); });

// Offsets in a file with the 40-byte header.
constexpr size_t kPixelsAtField = 10, kHeaderSizeField = 14, kWidthField = 18, kHeightField = 22, kPlanesField = 26,
                 kBitsField = 28, kCompressionField = 30, kColoursUsedField = 46;

struct BadCase {
    const char* name;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Good24() { return EncodeBitmap(kSixColours, {}); }
std::vector<uint8_t> Good8() { return EncodeBitmap(kSixColours, {.bits = 8}); }

std::vector<uint8_t> With(std::vector<uint8_t> bytes, size_t at, uint32_t value, int width = 4) {
    if (width == 4) SetU32(bytes, at, value);
    else SetU16(bytes, at, value);
    return bytes;
}
std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

std::vector<BadCase> BadCases() {
    std::vector<uint8_t> good24 = Good24(), good8 = Good8();
    std::vector<uint8_t> not_bm = good24;
    not_bm[1] = 'A';
    // Palette of 6 colours said to have 2: pixels with index 2..5 point past it.
    std::vector<uint8_t> index_past_palette = With(good8, kColoursUsedField, 2);
    std::vector<uint8_t> gappy_mask =
        EncodeBitmap(kSixColours, {.bits = 32, .compression = 3, .masks = {0xF0F0, 0xF0000, 0xF00000}});
    std::vector<uint8_t> wide16 =
        EncodeBitmap(kSixColours, {.bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}});
    SetU32(wide16, 14 + 40, 0x1F0000);
    return {
        {"Empty", {}},
        {"FileHeaderCut", Cut(good24, 10)},
        {"InfoHeaderCut", Cut(good24, 30)},
        {"NotABitmapSignature", not_bm},
        {"UnknownHeaderSize", With(good24, kHeaderSizeField, 20)},
        {"HeaderLongerThanFile", With(good24, kHeaderSizeField, 1000)},
        {"ZeroWidth", With(good24, kWidthField, 0)},
        {"NegativeWidth", With(good24, kWidthField, static_cast<uint32_t>(-3))},
        {"ZeroHeight", With(good24, kHeightField, 0)},
        {"MostNegativeHeight", With(good24, kHeightField, 0x80000000u)},
        {"AbsurdDimensions", With(With(good24, kWidthField, 100000), kHeightField, 100000)},
        {"WiderThanAnyTexture", With(With(good24, kWidthField, 40000), kHeightField, 1)},
        {"TooManyPixels", With(With(good24, kWidthField, 16384), kHeightField, 16384)},
        {"ZeroPlanes", With(good24, kPlanesField, 0, 2)},
        {"ZeroBitDepth", With(good24, kBitsField, 0, 2)},
        {"TwoBitDepth", With(good24, kBitsField, 2, 2)},
        {"SevenBitDepth", With(good24, kBitsField, 7, 2)},
        {"SixtyFourBitDepth", With(good24, kBitsField, 64, 2)},
        {"RunLength8", With(good8, kCompressionField, 1)},
        {"RunLength4", With(With(good8, kBitsField, 4, 2), kCompressionField, 2)},
        {"EmbeddedJpeg", With(good24, kCompressionField, 4)},
        {"EmbeddedPng", With(good24, kCompressionField, 5)},
        {"MasksOn24Bits", With(good24, kCompressionField, 3)},
        {"MaskNotOneRun", gappy_mask},
        {"Mask16BitsWide", wide16},
        {"PixelsCutByOneByte", Cut(good24, good24.size() - 1)},
        {"PixelsAtEndOfFile", With(good24, kPixelsAtField, static_cast<uint32_t>(good24.size()))},
        {"PixelsFarPastEnd", With(good24, kPixelsAtField, 0xFFFFFFF0u)},
        {"PixelsMegabytesAfterHeaders", With(good24, kPixelsAtField, 4u << 20)},
        {"PixelsInsidePalette", With(good8, kPixelsAtField, 14 + 40 + 8)},
        {"PaletteCut", Cut(good8, 14 + 40 + 10)},
        {"PaletteIndexPastPalette", index_past_palette},
        {"PaletteOfThousandColours", With(good8, kColoursUsedField, 1000)},
    };
}

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name << " (" << c.bytes.size() << " bytes)"; }

class DamagedBitmap : public testing::TestWithParam<BadCase> {};

TEST_P(DamagedBitmap, GivesNone) { EXPECT_FALSE(DecodeBitmapFile(GetParam().bytes)); }

INSTANTIATE_TEST_SUITE_P(Files, DamagedBitmap, testing::ValuesIn(BadCases()),
                         [](const testing::TestParamInfo<BadCase>& case_info) {
                             return std::string(case_info.param.name);
                         });

// What the headers say a file needs, read before the rest: never more than the largest
// picture taken, whatever the sizes they declare.
TEST(BitmapFileExtent, IsWhatTheHeadersDeclareWithinTheLargestPicture) {
    std::vector<uint8_t> good24 = Good24();
    std::span<const uint8_t> head(good24.data(), 14 + 40);
    EXPECT_EQ(BitmapFileExtent(head), good24.size());
    std::vector<uint8_t> largest = With(With(With(good24, kWidthField, 4096), kHeightField, 4096), kBitsField, 32, 2);
    EXPECT_EQ(BitmapFileExtent(largest), 14 + 40 + uint64_t{4096} * 4096 * 4);
    for (const auto& declared : {With(With(good24, kWidthField, 16384), kHeightField, 16384),
                                 With(good24, kPixelsAtField, 0xFFFFFFF0u), With(good24, kWidthField, 0x7FFFFFFF)})
        EXPECT_FALSE(BitmapFileExtent(declared));
    EXPECT_FALSE(BitmapFileExtent(std::span<const uint8_t>(good24.data(), 20)));  // headers cut
}

TEST(LoadImageFile, ReadsAFileOfTheWorkingDirectory) {
    TempWorkingDirectory dir;
    std::vector<uint8_t> bytes = Good24();
    dir.Write("vario.txr", std::string(bytes.begin(), bytes.end()));
    std::optional<GaugeImage> image = LoadImageFile("vario.txr");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->rgb, BottomUpRgb(kSixColours));
}

TEST(LoadImageFile, GivesNoneForNoNameAMissingFileAFolderOrAnEmptyFile) {
    TempWorkingDirectory dir;
    std::filesystem::create_directory(dir.Path() / "ago.txr");
    dir.Write("setpos.txr", "");
    for (const char* name : {"", "vario.txr", "ago.txr", "setpos.txr"})
        EXPECT_FALSE(LoadImageFile(name)) << "'" << name << "'";
}

TEST(LoadImageFile, TakesTheImageAndLeavesWhatFollowsIt) {
    TempWorkingDirectory dir;
    std::vector<uint8_t> bytes = Good24();
    dir.Write("vario.txr", std::string(bytes.begin(), bytes.end()) + std::string(1 << 20, 'x'));
    std::optional<GaugeImage> image = LoadImageFile("vario.txr");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->rgb, BottomUpRgb(kSixColours));
}

#ifndef _WIN32
// Devices and pipes are refused without being read or waited on.
TEST(LoadImageFile, GivesNoneForADeviceOrAPipe) {
    TempWorkingDirectory dir;
    std::filesystem::create_symlink("/dev/zero", dir.Path() / "vario.txr");
    ASSERT_EQ(mkfifo(dir.File("ago.txr").c_str(), 0600), 0);
    EXPECT_FALSE(LoadImageFile("vario.txr"));
    EXPECT_FALSE(LoadImageFile("ago.txr"));
}
#endif

}  // namespace
