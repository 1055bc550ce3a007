// The gauge's generated images read back as the gauge reads them: sizes a GL 1.1
// texture takes, dial marks where the scale puts the needle (on every built-in face and
// on a face vario-make-dial drew for a scale of its own), and a needle and mask that fit
// the blend functions the frame drawing uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "config/dial_scale.h"
#include "gauge/image_file.h"
#include "gauge/vertical_speed_scale.h"

namespace {

// The images folder of the native build; the Windows build is given the same one
// (it draws no images of its own) and may run where that folder is not.
const std::filesystem::path kAssetDir = VARIO_TEST_ASSET_DIR;

// Dial units: the dial quad spans -1..1 and the needle quad -0.65..0.65 (x right,
// y up); a needle angle a points from the centre to (-cos a, sin a).
constexpr double kNeedleQuadHalf = 0.65;
constexpr double kVisibleR = 0.828;  // what a square window shows of the dial quad

// Images the native build draws: missing there is a failure, elsewhere a skip.
#ifdef VARIO_TEST_ASSETS_REQUIRED
#define SKIP_OR_FAIL_WITHOUT_IMAGES FAIL()
#else
#define SKIP_OR_FAIL_WITHOUT_IMAGES GTEST_SKIP()
#endif

class GaugeImages : public testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(kAssetDir))
            SKIP_OR_FAIL_WITHOUT_IMAGES << "no generated images in " << kAssetDir;
    }

    static GaugeImage Load(const char* name) {
        std::optional<GaugeImage> image = LoadImageFile((kAssetDir / name).string());
        if (!image) ADD_FAILURE() << name << " does not read as a bitmap";
        return image.value_or(GaugeImage{});
    }
};

// Brightness (0..255, mean of the channels) at a point of a picture spanning
// -half..half in dial units, nearest pixel.
double Brightness(const GaugeImage& image, double x, double y, double half) {
    int col = static_cast<int>(std::floor((x / half + 1) / 2 * image.width));
    int row = static_cast<int>(std::floor((y / half + 1) / 2 * image.height));  // rows from the bottom
    if (col < 0 || row < 0 || col >= image.width || row >= image.height) return 0;
    const uint8_t* p = &image.rgb[(static_cast<size_t>(row) * image.width + col) * 3];
    return (p[0] + p[1] + p[2]) / 3.0;
}

// The angle of the tick nearest an expected one: the brightness-weighted middle of
// the bright pixels on an arc through the tick band, within 1.4 degrees either side
// (the closest ticks are 2.9 degrees apart). NaN when no tick is there.
double TickAngleNear(const GaugeImage& dial, double expected_deg, double radius) {
    double weight_sum = 0, angle_sum = 0;
    for (double deg = expected_deg - 1.4; deg <= expected_deg + 1.4; deg += 0.02) {
        double a = deg * std::numbers::pi / 180;
        double weight = Brightness(dial, -radius * std::cos(a), radius * std::sin(a), 1.0) - 128;
        if (weight <= 0) continue;
        weight_sum += weight;
        angle_sum += weight * deg;
    }
    return weight_sum > 0 ? angle_sum / weight_sum : NAN;
}

TEST_F(GaugeImages, AllReadWithPowerOfTwoSides) {
    for (const char* name : {"vario.txr", "vario_fpm2000.txr", "vario_ms5.txr", "vario_kt10.txr", "ago_mask.txr",
                             "ago.txr", "setpos.txr", "setsize.txr"}) {
        GaugeImage image = Load(name);
        EXPECT_TRUE(image.width > 0 && std::has_single_bit(static_cast<uint32_t>(image.width)))
            << name << " " << image.width;
        EXPECT_TRUE(image.height > 0 && std::has_single_bit(static_cast<uint32_t>(image.height)))
            << name << " " << image.height;
    }
}

TEST_F(GaugeImages, DialMarksStandWhereTheScalePutsTheNeedle) {
    GaugeImage dial = Load("vario.txr");
    ASSERT_GT(dial.width, 0);
    // Radius 0.63 crosses every tick, long and short, and lies under the needle's tip.
    for (double fpm :
         {0.0, 500.0, 1000.0, 1500.0, 2000.0, 4000.0, 6000.0, -500.0, -1000.0, -2000.0, -3000.0, -6000.0}) {
        double expected_deg = VerticalSpeedToAngle(fpm);
        double found_deg = TickAngleNear(dial, expected_deg, 0.63);
        EXPECT_NEAR(found_deg, expected_deg, 0.3) << fpm << " ft/min";
    }
    // Between the marks of 1000 and 1100 ft/min the face is dark.
    double between_deg = VerticalSpeedToAngle(1050);
    double a = between_deg * std::numbers::pi / 180;
    EXPECT_LT(Brightness(dial, -0.63 * std::cos(a), 0.63 * std::sin(a), 1.0), 80);
}

// Probes a dial along the rim: a mark at each value's needle angle (within 0.3 degrees),
// and dark at the given values between marks.
void ExpectMarksAt(const GaugeImage& dial, const DialScale& scale, const std::vector<double>& marks,
                   const std::vector<double>& between, const std::string& face) {
    for (double value : marks) {
        double expected_deg = DialValueToAngle(scale, value);
        EXPECT_NEAR(TickAngleNear(dial, expected_deg, 0.63), expected_deg, 0.3) << face << " mark at " << value;
    }
    for (double value : between) {
        double a = DialValueToAngle(scale, value) * std::numbers::pi / 180;
        EXPECT_LT(Brightness(dial, -0.63 * std::cos(a), 0.63 * std::sin(a), 1.0), 80)
            << face << " between, at " << value;
    }
}

TEST_F(GaugeImages, EachBuiltInFaceHasItsMarksWhereItsScalePutsTheNeedle) {
    struct Face {
        const char* file;
        std::string_view dial;
        std::vector<double> marks;    // majors and a few minors, both signs, full scale
        std::vector<double> between;  // values between two neighbouring marks
    };
    const Face faces[] = {
        {"vario_fpm2000.txr", kDialFpm2000, {0, 100, 500, 1000, 1500, 2000, -500, -1300, -2000}, {50, 1050, -1950}},
        {"vario_ms5.txr", kDialMs5, {0, 0.5, 1, 2, 3, 4, 5, -1, -2.5, -5}, {0.25, 3.75, -4.25}},
        {"vario_kt10.txr", kDialKt10, {0, 1, 2, 4, 6, 8, 10, -2, -5, -10}, {0.5, 7.5, -9.5}},
        // The original face again, through its DIAL name.
        {"vario.txr", kDialFpm6000, {0, 300, 1000, 2500, 6000, -1500, -3000, -5000}, {1050, -1050}},
    };
    for (const Face& face : faces) {
        GaugeImage dial = Load(face.file);
        ASSERT_GT(dial.width, 0) << face.file;
        ExpectMarksAt(dial, BuiltInDial(face.dial), face.marks, face.between, face.file);
    }
}

// A face drawn by running vario-make-dial for a scale of its own (the build draws it;
// VARIO_TEST_SCALE_DIAL names another drawing of the same scale, e.g. the Windows tool's).
TEST(ScaleDialImage, MarksAtEachValueOfTheScale) {
    const char* other = std::getenv("VARIO_TEST_SCALE_DIAL");
    const std::filesystem::path file = other && *other ? other : VARIO_TEST_SCALE_DIAL;
    if (!std::filesystem::exists(file)) SKIP_OR_FAIL_WITHOUT_IMAGES << "no dial drawn by vario-make-dial at " << file;
    std::optional<GaugeImage> dial = LoadImageFile(file.string());
    ASSERT_TRUE(dial) << file << " does not read as a bitmap";
    const DialScale scale = ParseDialScale(VARIO_TEST_SCALE_TEXT, DialUnitsNamed(VARIO_TEST_SCALE_UNITS));
    // The scale's values, each a major mark, on both sides; dark between 0.5 and 1.
    ExpectMarksAt(*dial, scale, {0, 0.5, 1, 2, 3.5, 5, -0.5, -1, -2, -3.5, -5}, {0.75, -0.75, 4.25}, file.string());
}

TEST_F(GaugeImages, DialStaysInsideWhatTheWindowShows) {
    GaugeImage dial = Load("vario.txr");
    ASSERT_GT(dial.width, 0);
    double brightest_outside = 0;
    for (double r = kVisibleR + 0.01; r < 1.0; r += 0.01)
        for (double deg = 0; deg < 360; deg += 0.5)
            brightest_outside =
                std::max(brightest_outside, Brightness(dial, r * std::cos(deg * std::numbers::pi / 180),
                                                       r * std::sin(deg * std::numbers::pi / 180), 1.0));
    EXPECT_LT(brightest_outside, 8);
}

TEST_F(GaugeImages, NeedlePointsToZeroAndItsMaskCoversIt) {
    GaugeImage mask = Load("ago_mask.txr");
    GaugeImage needle = Load("ago.txr");
    ASSERT_TRUE(mask.width == needle.width && mask.height == needle.height && mask.width > 0);
    // Toward nine o'clock: the needle (light) in a black cut-out; elsewhere none, and
    // the dial shows through.
    for (double r : {0.3, 0.5, 0.6}) {
        EXPECT_GT(Brightness(needle, -r, 0, kNeedleQuadHalf), 200) << r;
        EXPECT_LT(Brightness(mask, -r, 0, kNeedleQuadHalf), 30) << r;
        for (auto [x, y] : {std::pair{r, 0.0}, {0.0, r}, {0.0, -r}, {-r * 0.7, r * 0.7}}) {
            EXPECT_LT(Brightness(needle, x, y, kNeedleQuadHalf), 1) << x << "," << y;
            EXPECT_GT(Brightness(mask, x, y, kNeedleQuadHalf), 254) << x << "," << y;
        }
    }
    // The needle is added onto the picture: wherever it has light, the mask must have
    // cut the dial away first, or the needle would mix with the marks under it.
    int uncovered = 0;
    for (size_t i = 0; i < needle.rgb.size(); i += 3) {
        int needle_light = std::max({needle.rgb[i], needle.rgb[i + 1], needle.rgb[i + 2]});
        int mask_light = std::max({mask.rgb[i], mask.rgb[i + 1], mask.rgb[i + 2]});
        if (needle_light > 8 && mask_light > 64) ++uncovered;
    }
    EXPECT_EQ(uncovered, 0);
}

TEST_F(GaugeImages, OverlaysShowInTheirGreenChannelOnBlack) {
    for (const char* name : {"setpos.txr", "setsize.txr"}) {
        GaugeImage overlay = Load(name);
        ASSERT_GT(overlay.width, 0);
        size_t green = 0, corners_lit = 0;
        for (size_t i = 0; i < overlay.rgb.size(); i += 3)
            if (overlay.rgb[i + 1] > 200) ++green;
        for (size_t i : {size_t{0}, overlay.rgb.size() - 3}) corners_lit += overlay.rgb[i + 1] > 8;
        EXPECT_GT(green, overlay.rgb.size() / 3 / 50) << name;  // a marker of some size
        EXPECT_EQ(corners_lit, 0u) << name;                     // on black, which adds nothing
    }
}

}  // namespace
