// The icon reader and the top-level error report's text.
#include <gtest/gtest.h>

#include <cstring>

#include "app/startup.h"
#include "common/error.h"
#include "common/little_endian.h"
#include "gauge/icon_file.h"
#include "temp_dir.h"

namespace {

// An icon file with one 2x2 image of the given depth: top row red, blue; bottom row
// green, and a pixel the mask makes transparent.
std::vector<uint8_t> TwoByTwoIcon(uint16_t bits) {
    std::vector<uint8_t> image;
    PutU32(image, 40);
    PutU32(image, 2);
    PutU32(image, 4);
    PutU16(image, 1);
    PutU16(image, bits);
    for (int i = 0; i < 6; ++i) PutU32(image, 0);
    if (bits == 8) {
        const uint8_t palette[] = {0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 0, 0};  // red, blue, green (BGRx)
        image.insert(image.end(), palette, palette + sizeof palette);
        for (int i = 3; i < 256; ++i) PutU32(image, 0);
        const uint8_t rows[] = {2, 3, 0, 0, /* bottom */ 0, 1, 0, 0 /* top */};
        image.insert(image.end(), rows, rows + sizeof rows);
    } else {
        const uint8_t bottom[] = {0, 255, 0, 0, 0, 0, 0, 0};  // green, black (BGR, padded)
        const uint8_t top[] = {0, 0, 255, 255, 0, 0, 0, 0};   // red, blue
        image.insert(image.end(), bottom, bottom + 8);
        image.insert(image.end(), top, top + 8);
    }
    const uint8_t mask[] = {0x40, 0, 0, 0, /* bottom: second pixel transparent */ 0, 0, 0, 0};
    image.insert(image.end(), mask, mask + sizeof mask);

    std::vector<uint8_t> file;
    PutU16(file, 0);
    PutU16(file, 1);
    PutU16(file, 1);
    file.insert(file.end(), {2, 2, 0, 0});
    PutU16(file, 1);
    PutU16(file, bits);
    PutU32(file, static_cast<uint32_t>(image.size()));
    PutU32(file, 22);
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

TEST(IconFile, DecodesBitmapIconsTopDownWithTheirMask) {
    for (uint16_t bits : {8, 24}) {
        std::optional<IconImage> icon = DecodeIconFile(TwoByTwoIcon(bits));
        ASSERT_TRUE(icon) << bits << " bits";
        ASSERT_EQ(icon->width, 2);
        ASSERT_EQ(icon->height, 2);
        const std::vector<uint8_t> expected = {255, 0, 0, 255, 0, 0, 255, 255, 0, 255, 0, 255, 0, 0, 0, 0};
        EXPECT_EQ(icon->rgba, expected) << bits << " bits";
    }
}

TEST(IconFile, RejectsWhatIsNotAnIcon) {
    std::vector<uint8_t> cursor = TwoByTwoIcon(24);
    cursor[2] = 2;  // a cursor file
    std::vector<uint8_t> no_images = TwoByTwoIcon(24);
    no_images[4] = 0;
    std::vector<uint8_t> outside = TwoByTwoIcon(24);
    outside[18] = 0xFF;  // image offset beyond the file
    std::vector<uint8_t> truncated = TwoByTwoIcon(24);
    truncated.resize(40);
    std::vector<uint8_t> bitmap_file = {'B', 'M', 0, 0, 0, 0, 0, 0};
    for (const auto& bytes : {cursor, no_images, outside, truncated, bitmap_file, std::vector<uint8_t>{}})
        EXPECT_FALSE(DecodeIconFile(bytes));
}

// The directory says how much of the file is read: entries of absurd size or far out
// in the file are passed over, so that no icon asks for more than a few megabytes.
TEST(IconFile, ExtentIsTheDirectoryThenItsFarthestSaneImage) {
    std::vector<uint8_t> icon = TwoByTwoIcon(24);
    EXPECT_EQ(IconFileExtent(std::span<const uint8_t>(icon.data(), 6)), 6 + 16);
    EXPECT_EQ(IconFileExtent(icon), icon.size());
    std::vector<uint8_t> far_out = icon, huge = icon;
    far_out[21] = 0xF0;  // image offset near 4 GB
    huge[17] = 0x7F;     // image size near 2 GB
    EXPECT_EQ(IconFileExtent(far_out), 6 + 16);
    EXPECT_EQ(IconFileExtent(huge), 6 + 16);
    EXPECT_FALSE(DecodeIconFile(far_out));
    EXPECT_FALSE(DecodeIconFile(huge));
    std::vector<uint8_t> no_icon = icon;
    no_icon[2] = 2;
    EXPECT_FALSE(IconFileExtent(no_icon));
}

TEST(IconFile, LoadErrorsCarryTheTextsOfTheReport) {
    TempWorkingDirectory dir;
    try {
        LoadIconFile(dir.File("plane2.ico"));
        FAIL() << "missing icon loaded";
    } catch (const EVarioError& error) {
        std::string expected = "Cannot open file \"" + dir.File("plane2.ico") + "\". ";
        EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected);
        EXPECT_GT(std::string(error.what()).size(), expected.size());  // the platform's reason follows
    }
    std::filesystem::create_directory(dir.Path() / "plane2.ico");
    try {
        LoadIconFile(dir.File("plane2.ico"));
        FAIL() << "folder loaded as icon";
    } catch (const EVarioError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"" + dir.File("plane2.ico") + "\". ", 0), 0u);
    }
    std::filesystem::remove(dir.Path() / "plane2.ico");
    dir.Write("plane2.ico", "BM not an icon at all");
    try {
        LoadIconFile(dir.File("plane2.ico"));
        FAIL() << "bitmap loaded as icon";
    } catch (const EVarioError& error) {
        EXPECT_STREQ(error.what(), "Icon image is not valid");
    }
}

TEST(ApplicationError, TextNamesKindModuleAddressAndAddsAFullStop) {
    const void* address = reinterpret_cast<const void*>(uintptr_t{0x4A1B2C});
    std::string hex = sizeof(void*) == 8 ? "00000000004A1B2C" : "004A1B2C";
    EXPECT_EQ(
        ApplicationErrorText("EVarioError", "ORVEXVario.exe", address, "'abc' is not a valid integer value"),
        "Exception EVarioError in module ORVEXVario.exe at " + hex + ".\r\n'abc' is not a valid integer value.\r\n");
    EXPECT_EQ(ApplicationErrorText("EVarioError", "ORVEXVario", address, "Icon image is not valid."),
              "Exception EVarioError in module ORVEXVario at " + hex + ".\r\nIcon image is not valid.\r\n");
}

}  // namespace
