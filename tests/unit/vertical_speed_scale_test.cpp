// The dial's scale (feet per minute to needle degrees) and the rounding of the
// network value to a raw integer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "common/error.h"
#include "gauge/vertical_speed_scale.h"

namespace {

struct ScaleCase {
    const char* name;
    double fpm;
    double angle_deg;
    double tolerance_deg;  // the figures quoted to four decimals, or tight for exact ones
};

// A simulator word (metres per minute, descent positive) as feet per minute.
double Word(int16_t raw_mpm) { return RawToFeetPerMinute(raw_mpm); }

constexpr double kExact = 1e-9;
constexpr double kQuoted = 1e-4;

void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.name << " (" << c.fpm << " ft/min)"; }

class VerticalSpeedScale : public testing::TestWithParam<ScaleCase> {};

TEST_P(VerticalSpeedScale, GivesTheNeedleAngle) {
    const ScaleCase& c = GetParam();
    EXPECT_NEAR(VerticalSpeedToAngle(c.fpm), c.angle_deg, c.tolerance_deg) << c.fpm << " ft/min";
}

INSTANTIATE_TEST_SUITE_P(
    Table, VerticalSpeedScale,
    testing::Values(
        ScaleCase{"Zero", 0, 0, 0}, ScaleCase{"NegativeZeroIsClimbSide", -0.0, 0, 0},
        ScaleCase{"WordMinus305", Word(-305), 76.019031, kQuoted}, ScaleCase{"Word305", Word(305), -75.019031, kQuoted},
        ScaleCase{"WordMinus1", Word(-1), 0.24934384, kQuoted}, ScaleCase{"Word1", Word(1), -0.246063, kQuoted},
        ScaleCase{"Climb1000", 1000, 76, kExact}, ScaleCase{"Climb2000", 2000, 105, kExact},
        ScaleCase{"Descent1000", -1000, -75, kExact}, ScaleCase{"Descent2000", -2000, -104, kExact},
        ScaleCase{"JustBelowDescent2000StepsByOneDegree", -2000.0001, -105.0000015, kExact},
        ScaleCase{"WordMinus609", Word(-609), 104.9429, kQuoted}, ScaleCase{"Word609", Word(609), -103.9429, kQuoted},
        ScaleCase{"WordMinus611", Word(-611), 105.0689, kQuoted}, ScaleCase{"Word611", Word(611), -105.0689, kQuoted},
        ScaleCase{"Climb5999", 5999, 164.985, kExact}, ScaleCase{"Climb6000", 6000, 165, 0},
        ScaleCase{"Descent6000", -6000, -165, 0}, ScaleCase{"WordMinus1829", Word(-1829), 165, 0},
        ScaleCase{"Word32767", Word(32767), -165, 0}, ScaleCase{"WordMinus32768", Word(-32768), 165, 0},
        ScaleCase{"ClimbBeyondAnyWord", 1e12, 165, 0}, ScaleCase{"DescentBeyondAnyWord", -1e12, -165, 0}),
    [](const testing::TestParamInfo<ScaleCase>& case_info) { return std::string(case_info.param.name); });

TEST(VerticalSpeedScaleWords, GiveTheQuotedFeetPerMinute) {
    EXPECT_NEAR(Word(-305), 1000.6562, kQuoted);
    EXPECT_NEAR(Word(305), -1000.6562, kQuoted);
    EXPECT_NEAR(Word(-1), 3.28084, kExact);
    EXPECT_NEAR(Word(-609), 1998.0316, kQuoted);
    EXPECT_NEAR(Word(-1829), 6000.6564, kQuoted);
}

// Every whole ft/min step within the scale moves the needle the right way, and only
// just below -2000 does it jump (by one degree).
TEST(VerticalSpeedScaleWords, RisesWithSpeedAndJumpsOnlyBelowDescent2000) {
    double previous = VerticalSpeedToAngle(-7000);
    for (int fpm = -6999; fpm <= 7000; ++fpm) {
        double angle = VerticalSpeedToAngle(fpm);
        ASSERT_GE(angle, previous) << fpm;
        ASSERT_LE(angle - previous, fpm == -2000 ? 1.02 : 0.08) << fpm;
        ASSERT_LE(std::fabs(angle), 165.0) << fpm;
        previous = angle;
    }
}

TEST(RoundHalfToEven, TakesExactHalvesToTheEvenNeighbour) {
    struct Case {
        double value;
        int32_t raw;
    };
    const Case cases[] = {{2.5, 2},
                          {3.5, 4},
                          {-0.5, 0},
                          {-2.5, -2},
                          {0.5, 0},
                          {1.5, 2},
                          {-1.5, -2},
                          {2.4999, 2},
                          {2.5001, 3},
                          {-3.7, -4},
                          {305, 305},
                          {-305.2, -305},
                          {2147483647.4, 2147483647},
                          {-2147483648.5, INT32_MIN}};
    for (const Case& c : cases) EXPECT_EQ(RoundHalfToEven(c.value), c.raw) << c.value;
}

TEST(RoundHalfToEven, RaisesARangeErrorOutsideThe32BitRange) {
    const double out_of_range[] = {2147483647.5,
                                   2147483648.0,
                                   -2147483648.6,
                                   -2147483649.0,
                                   1e300,
                                   std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::quiet_NaN()};
    for (double value : out_of_range) {
        try {
            RoundHalfToEven(value);
            ADD_FAILURE() << value << " was rounded";
        } catch (const EVarioError& error) {
            EXPECT_NE(std::string(error.what()).find("outside the 32-bit integer range"), std::string::npos)
                << error.what();
        }
    }
}

TEST(RoundHalfToEven, RangeErrorNamesTheValue) {
    EXPECT_THROW(
        {
            try {
                RoundHalfToEven(3e9);
            } catch (const EVarioError& error) {
                EXPECT_STREQ(error.what(), "Vertical speed 3000000000 is outside the 32-bit integer range");
                throw;
            }
        },
        EVarioError);
}

}  // namespace
