// The needle's damping: a first-order lag whose answer to a step does not depend on
// the frame rate.
#include <gtest/gtest.h>

#include <cmath>

#include "gauge/needle_damping.h"

namespace {

// Follows a step from 0 to 100 at the given frame rate for `seconds`; returns the last shown value.
double AfterStep(double time_constant_s, double fps, double seconds) {
    NeedleDamping damping;
    damping.Follow(0, time_constant_s, 0.0);
    double shown = 0;
    int frames = static_cast<int>(std::lround(seconds * fps));
    for (int i = 1; i <= frames; ++i) shown = damping.Follow(100, time_constant_s, i / fps);
    return shown;
}

TEST(NeedleDamping, ReachesSixtyThreePercentAfterOneTimeConstantAtAnyFrameRate) {
    for (double fps : {30.0, 500.0}) {
        EXPECT_NEAR(AfterStep(1.5, fps, 1.5), 100 * (1 - std::exp(-1.0)), 1e-9) << fps << " frames/s";
        EXPECT_NEAR(AfterStep(1.5, fps, 4.5), 100 * (1 - std::exp(-3.0)), 1e-9) << fps << " frames/s";
    }
}

TEST(NeedleDamping, UnevenFramesGiveTheSameAnswer) {
    NeedleDamping damping;
    damping.Follow(0, 2.0, 0.0);
    double shown = 0;
    for (double t : {0.001, 0.1, 0.103, 0.9, 1.2, 1.21, 2.0}) shown = damping.Follow(-50, 2.0, t);
    EXPECT_NEAR(shown, -50 * (1 - std::exp(-1.0)), 1e-9);
}

TEST(NeedleDamping, NoTimeConstantShowsTheValueAsRead) {
    NeedleDamping damping;
    EXPECT_EQ(damping.Follow(10, 0, 0.0), 10);
    EXPECT_EQ(damping.Follow(-165, 0, 0.001), -165);
}

TEST(NeedleDamping, FirstValueAndTheOneAfterResetAreShownAtOnce) {
    NeedleDamping damping;
    EXPECT_EQ(damping.Follow(40, 1.0, 3.0), 40);
    EXPECT_LT(damping.Follow(80, 1.0, 3.1), 50);  // damped
    damping.Reset();
    EXPECT_EQ(damping.Follow(-20, 1.0, 3.2), -20);
    EXPECT_EQ(damping.Follow(-20, 1.0, 3.2), -20);  // no time passed: no change
}

}  // namespace
