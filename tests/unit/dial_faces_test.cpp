// The dial faces: each face's needle angle for raw values, the unit conversions, the
// inverse from angle to value, the rules of a scale of one's own, and the [GAUGE] keys
// that choose the face and its image.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "config/dial_choice.h"
#include "config/settings.h"
#include "configuration_fixture.h"
#include "gauge/dial_image.h"
#include "gauge/vertical_speed_scale.h"
#include "raised_message.h"

namespace {

constexpr const char* kMetresScale = "0:0,1:30,2:60,5:120,8:165";
constexpr const char* kKnotsScale = "0:0,2:40,5:100,10:165";

struct FaceCase {
    const char* dial;
    const char* scale;  // with UNITS below; empty for the built-in face alone
    const char* units;
    int raw_mpm;       // descent positive
    double angle_deg;  // worked out by hand from the face's definition
};

// Both signs, full scale exactly, and beyond it up to the ends of the simulator's word.
const FaceCase kFaceCases[] = {
    {"FPM2000", "", "", -60, 16.240158},  // 196.85 ft/min of 2000 at 165
    {"FPM2000", "", "", 120, -32.480316},
    {"FPM2000", "", "", -609, 164.837604},
    {"FPM2000", "", "", -610, 165},  // 2001.3 ft/min
    {"FPM2000", "", "", 32767, -165},
    {"MS5", "", "", -60, 33},  // 1 m/s
    {"MS5", "", "", 150, -82.5},
    {"MS5", "", "", -300, 165},  // 5 m/s exactly
    {"MS5", "", "", 301, -165},
    {"MS5", "", "", -32768, 165},
    {"KT10", "", "", -60, 32.073426},  // 1.943844 kt
    {"KT10", "", "", 120, -64.146852},
    {"KT10", "", "", -308, 164.643587},  // 9.978 kt
    {"KT10", "", "", -309, 165},         // 10.011 kt
    {"KT10", "", "", 1000, -165},
    {"", "", "", -305, 76.019031},  // the original face, by default
    {"FPM6000", "", "", 305, -75.019031},
    {"", kMetresScale, "MS", -150, 70},  // 2.5 m/s, between 2:60 and 5:120
    {"", kMetresScale, "MS", 240, -100},
    {"", kMetresScale, "MS", -480, 165},  // the last pair
    {"", kMetresScale, "MS", -1500, 165},
    {"MS5", kMetresScale, "MS", 60, -30},  // SCALE overrides DIAL
    {"", kKnotsScale, "KT", -60, 38.87688},
    {"", kKnotsScale, "KT", 150, -97.1922},
    {"", kKnotsScale, "KT", 3000, -165},
    {"", "0:0,500:40,1000:75,2000:120,4000:165", "", -100, 26.24672},  // 328.084 ft/min
};

TEST(DialFaces, PlaceTheNeedleByTheFacesScale) {
    for (const FaceCase& c : kFaceCases) {
        const DialScale dial = ChooseDial(c.dial, c.scale, c.units);
        EXPECT_NEAR(RawToDialAngle(dial, c.raw_mpm), c.angle_deg, 1e-5)
            << "DIAL=" << c.dial << " SCALE=" << c.scale << " UNITS=" << c.units << " raw " << c.raw_mpm;
    }
}

TEST(DialFaces, ZeroAndNoValueLeaveTheNeedleAtZero) {
    for (const char* dial : {"FPM2000", "MS5", "KT10"}) {
        EXPECT_EQ(RawToDialAngle(BuiltInDial(dial), 0), 0) << dial;
        EXPECT_EQ(DialValueToAngle(BuiltInDial(dial), std::nan("")), 0) << dial;
    }
}

TEST(DialFaces, ConvertTheRawValueToEachUnitAndBack) {
    // 60 m/min of climb (raw -60) is 1 m/s.
    EXPECT_NEAR(RawToDialValue(DialUnits::FeetPerMinute, -60), 196.8504, 1e-9);
    EXPECT_NEAR(RawToDialValue(DialUnits::MetresPerSecond, -60), 1.0, 1e-12);
    EXPECT_NEAR(RawToDialValue(DialUnits::Knots, -60), 1.943844, 1e-12);
    EXPECT_NEAR(RawToDialValue(DialUnits::Knots, 90), -2.915766, 1e-12);
    EXPECT_NEAR(DialValueToMetresPerSecond(DialUnits::FeetPerMinute, 196.8504), 1.0, 1e-12);
    EXPECT_NEAR(DialValueToMetresPerSecond(DialUnits::MetresPerSecond, -2.5), -2.5, 1e-12);
    EXPECT_NEAR(DialValueToMetresPerSecond(DialUnits::Knots, -1.943844), -1.0, 1e-12);
}

TEST(DialFaces, AngleToValueInvertsTheScaleOnEveryFace) {
    struct Face {
        const char* name;
        DialScale dial;
        std::vector<double> values;  // within full scale, both signs
    };
    const Face faces[] = {
        {"FPM6000",
         BuiltInDial(""),
         {0, 250, 1000, 1500, 2000, 2000.5, 5999, -1, -1000, -1999, -2000, -2000.0001, -5999}},
        {"FPM2000", BuiltInDial("FPM2000"), {0, 1, 999, 2000, -0.5, -1750}},
        {"MS5", BuiltInDial("MS5"), {0.1, 2.5, 5, -3.3, -5}},
        {"KT10", BuiltInDial("KT10"), {0.25, 9.99, -10, -4}},
        {"SCALE", ParseDialScale(kMetresScale, DialUnits::MetresPerSecond), {0.5, 1, 1.5, 2, 3.5, 8, -0.2, -6.5, -8}},
    };
    for (const Face& face : faces) {
        for (double value : face.values) {
            const double angle = DialValueToAngle(face.dial, value);
            EXPECT_NEAR(AngleToDialValue(face.dial, angle), value, 1e-7) << face.name << " at " << value;
        }
    }
    // At and beyond the needle's limit the value is the face's full scale.
    const DialScale metres = ParseDialScale(kMetresScale, DialUnits::MetresPerSecond);
    EXPECT_DOUBLE_EQ(AngleToDialValue(metres, 165), 8);
    EXPECT_DOUBLE_EQ(AngleToDialValue(metres, 200), 8);
    EXPECT_DOUBLE_EQ(AngleToDialValue(metres, -170), -8);
    EXPECT_DOUBLE_EQ(AngleToDialValue(BuiltInDial("KT10"), -165), -10);
    EXPECT_NEAR(AngleToDialValue(BuiltInDial(""), 170), 6000, 1e-9);
    EXPECT_NEAR(AngleToDialValue(BuiltInDial(""), -170), -6000, 1e-9);
}

TEST(DialScaleRules, EachBrokenRuleRaisesItsMessage) {
    const std::string thirty_three_pairs = [] {
        std::string text = "0:0";
        for (int i = 1; i <= 32; ++i) text += "," + std::to_string(i) + ":" + std::to_string(i * 5);
        return text;
    }();
    const std::pair<std::string, std::string> cases[] = {
        {"0:0,1:30,2", "'2' is not a SCALE pair (value:degrees, decimal numbers)"},
        {"0:0,1:3o", "'1:3o' is not a SCALE pair (value:degrees, decimal numbers)"},
        {"0:0,1:30,", "'' is not a SCALE pair (value:degrees, decimal numbers)"},
        {"0:0,-1:30", "'-1:30' is not a SCALE pair (value:degrees, decimal numbers)"},
        {"0:0,1e3:30", "'1e3:30' is not a SCALE pair (value:degrees, decimal numbers)"},
        {"1:10,2:20", "'1:10' does not start the SCALE with 0:0"},
        {"0:5,2:20", "'0:5' does not start the SCALE with 0:0"},
        {"0:0,2:60,2:90", "'2:90' does not increase both value and degrees in the SCALE"},
        {"0:0,2:60,3:60", "'3:60' does not increase both value and degrees in the SCALE"},
        {"0:0,2:60,1:90", "'1:90' does not increase both value and degrees in the SCALE"},
        {"0:0,1:30,8:165.5", "'8:165.5' turns the needle beyond 165 degrees in the SCALE"},
        {"0:0", "'0:0' needs at least one pair after 0:0 in the SCALE"},
        {thirty_three_pairs,
         "'" + thirty_three_pairs.substr(0, 64) + "\xE2\x80\xA6' has more than 32 pairs in the SCALE"},
    };
    for (const auto& [text, message] : cases)
        EXPECT_EQ(RaisedMessage([&] { ParseDialScale(text, DialUnits::MetresPerSecond); }), message) << text;
}

TEST(DialScaleRules, TakeTheLimitsAndDecimalsTheyAllow) {
    std::string thirty_two_pairs = "0:0";
    for (int i = 1; i < 32; ++i) thirty_two_pairs += "," + std::to_string(i) + ":" + std::to_string(i * 5 + 5);
    const DialScale full = ParseDialScale(thirty_two_pairs, DialUnits::Knots);
    EXPECT_EQ(full.Points.size(), kMaxScalePoints);
    EXPECT_EQ(full.Points.back().AngleDeg, 160);

    const DialScale decimals = ParseDialScale(" 0 : 0 , 0.5:12.5,1.25:165", DialUnits::MetresPerSecond);
    ASSERT_EQ(decimals.Points.size(), 3u);
    EXPECT_EQ(decimals.Points[1].Value, 0.5);
    EXPECT_EQ(decimals.Points[1].AngleDeg, 12.5);
    EXPECT_EQ(decimals.Points[2].AngleDeg, 165);
    EXPECT_FALSE(decimals.OriginalFace);
    EXPECT_EQ(decimals.Units, DialUnits::MetresPerSecond);
}

class DialKeys : public ConfigurationFixture {};

TEST_F(DialKeys, AbsentOrEmptyKeysGiveTheOriginalFaceAndImage) {
    for (const char* ini : {"", "[GAUGE]\nDIAL=\nSCALE= \nUNITS=\t\nDIALIMAGE=\n", "[GAUGE]\nDIAL=FPM6000\n"}) {
        Settings.Dial = BuiltInDial("KT10");
        Settings.DialImage = "stale.txr";
        Load(ini);
        EXPECT_TRUE(Settings.Dial.OriginalFace) << ini;
        EXPECT_EQ(Settings.Dial.Units, DialUnits::FeetPerMinute) << ini;
        EXPECT_EQ(Settings.DialImage, "") << ini;
        EXPECT_EQ(DialImageFile(Settings), "vario.txr") << ini;
    }
}

TEST_F(DialKeys, ChooseTheFaceAndItsImage) {
    struct Case {
        const char* ini;
        DialUnits units;
        double full_scale;  // the value at 165 degrees
        const char* image;
    };
    const Case cases[] = {
        {"[GAUGE]\nDIAL=FPM2000\n", DialUnits::FeetPerMinute, 2000, "vario_fpm2000.txr"},
        {"[gauge]\ndial= MS5 \n", DialUnits::MetresPerSecond, 5, "vario_ms5.txr"},
        {"[GAUGE]\nDIAL=KT10\nUNITS=MS\n", DialUnits::Knots, 10, "vario_kt10.txr"},
        // A SCALE without an image of its own: the linear face of its unit.
        {"[GAUGE]\nDIAL=KT10\nSCALE=0:0,1:30,2:60,5:120,8:165\nUNITS=MS\n", DialUnits::MetresPerSecond, 8,
         "vario_ms5.txr"},
        {"[GAUGE]\nSCALE=0:0,4000:165\n", DialUnits::FeetPerMinute, 4000, "vario_fpm2000.txr"},
        {"[GAUGE]\nSCALE=0:0,20:165\nUNITS=KT\n", DialUnits::Knots, 20, "vario_kt10.txr"},
        {"[GAUGE]\nSCALE=0:0,20:165\nUNITS=KT\nDIALIMAGE= my face.txr \n", DialUnits::Knots, 20, "my face.txr"},
        {"[GAUGE]\nDIALIMAGE=panel.txr\n", DialUnits::FeetPerMinute, 6000, "panel.txr"},
    };
    for (const Case& c : cases) {
        Load(c.ini);
        EXPECT_EQ(Settings.Dial.Units, c.units) << c.ini;
        EXPECT_NEAR(AngleToDialValue(Settings.Dial, 165), c.full_scale, 1e-9) << c.ini;
        EXPECT_EQ(DialImageFile(Settings), c.image) << c.ini;
    }
}

TEST_F(DialKeys, BadValuesRaiseWithTheirMessages) {
    const std::pair<const char*, const char*> cases[] = {
        {"[GAUGE]\nDIAL=MS10\n", "'MS10' is not a known DIAL (FPM6000, FPM2000, MS5 or KT10)"},
        {"[GAUGE]\nDIAL=ms5\n", "'ms5' is not a known DIAL (FPM6000, FPM2000, MS5 or KT10)"},
        // A bad DIAL is reported even where SCALE would override it.
        {"[GAUGE]\nDIAL=FPM3000\nSCALE=0:0,1:165\n", "'FPM3000' is not a known DIAL (FPM6000, FPM2000, MS5 or KT10)"},
        {"[GAUGE]\nUNITS=KMH\n", "'KMH' is not a known UNITS (FPM, MS or KT)"},
        {"[GAUGE]\nSCALE=0:0,5:170\nUNITS=MS\n", "'5:170' turns the needle beyond 165 degrees in the SCALE"},
        {"[GAUGE]\nSCALE=0:0;5:160\n", "'0:0;5:160' is not a SCALE pair (value:degrees, decimal numbers)"},
        {"[GAUGE]\nDIALIMAGE=../faces/my.txr\n",
         "'../faces/my.txr' is not a DIALIMAGE file name (a file in the working directory)"},
        {"[GAUGE]\nDIALIMAGE=C:my.txr\n", "'C:my.txr' is not a DIALIMAGE file name (a file in the working directory)"},
        {"[GAUGE]\nDIALIMAGE=faces\\my.txr\n",
         "'faces\\my.txr' is not a DIALIMAGE file name (a file in the working directory)"},
    };
    for (const auto& [ini, message] : cases) {
        dir.Write("ORVEXVari.INI", ini);
        EXPECT_EQ(RaisedMessage([] { ReadConfiguration(); }), message) << ini;
    }
}

}  // namespace
