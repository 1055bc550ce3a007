// The development tools' value source: built-in profile and scripts.
#include <gtest/gtest.h>

#include "tools/common/flight_profile.h"

namespace {

TEST(FlightProfile, ScriptHoldsEachValueUntilTheNextTime) {
    std::string error;
    auto profile = FlightProfile::FromScript("0:0,2:-150,5:300.5", error);
    ASSERT_TRUE(profile) << error;
    EXPECT_EQ(profile->ValueAt(0), 0);
    EXPECT_EQ(profile->ValueAt(1.99), 0);
    EXPECT_EQ(profile->ValueAt(2), -150);
    EXPECT_EQ(profile->ValueAt(4.9), -150);
    EXPECT_EQ(profile->ValueAt(100), 300.5);
    EXPECT_EQ(profile->WordAt(100), 301);
}

TEST(FlightProfile, MalformedScriptsAreRefusedWithAReason) {
    for (const char* script : {"", "5", "a:1", "1:b", "1:2,1:3", "3:1,2:1", "-1:5", "1:2,", "1:2:3"}) {
        std::string error;
        EXPECT_FALSE(FlightProfile::FromScript(script, error)) << script;
        EXPECT_FALSE(error.empty()) << script;
    }
}

TEST(FlightProfile, BuiltInProfileClimbsDescendsAndRepeats) {
    FlightProfile profile = FlightProfile::BuiltIn();
    double most_climb = 0, most_descent = 0;
    for (double t = 0; t < profile.Period(); t += 0.5) {
        most_climb = std::min(most_climb, profile.ValueAt(t));
        most_descent = std::max(most_descent, profile.ValueAt(t));
    }
    EXPECT_LE(most_climb, -400);   // climbs over 1300 ft/min
    EXPECT_GE(most_descent, 500);  // descends over 1600 ft/min
    EXPECT_DOUBLE_EQ(profile.ValueAt(20), profile.ValueAt(20 + profile.Period()));
}

TEST(FlightProfile, WordIsClampedToSixteenBits) {
    EXPECT_EQ(FlightProfile::Fixed(40000).WordAt(0), 32767);
    EXPECT_EQ(FlightProfile::Fixed(-40000).WordAt(0), -32768);
    EXPECT_EQ(FlightProfile::Fixed(-2.5).WordAt(0), -3);
}

}  // namespace
