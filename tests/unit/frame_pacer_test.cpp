// Frame pacing: when frames are due at a MAXFPS and how long the loop waits for them.
#include <gtest/gtest.h>

#include "app/frame_pacer.h"

namespace {

TEST(FramePacer, WithoutALimitEveryFrameIsDue) {
    for (int max_fps : {0, -5}) {
        FramePacer pacer(max_fps);
        EXPECT_FALSE(pacer.Limited());
        pacer.FrameStarted(10.0);
        EXPECT_EQ(pacer.WaitMs(10.0), 0) << max_fps;
    }
}

TEST(FramePacer, WaitsTheRestOfTheIntervalRoundedUp) {
    FramePacer pacer(60);
    EXPECT_EQ(pacer.WaitMs(5.0), 0);  // the first frame is due at once
    pacer.FrameStarted(5.0);
    EXPECT_EQ(pacer.WaitMs(5.0), 17);  // 16.67 ms
    EXPECT_EQ(pacer.WaitMs(5.010), 7);
    EXPECT_EQ(pacer.WaitMs(5.0166), 1);
    EXPECT_EQ(pacer.WaitMs(5.0167), 0);
}

TEST(FramePacer, StaysOnItsGridWhenAWaitOvershoots) {
    FramePacer pacer(50);
    pacer.FrameStarted(0.0);
    pacer.FrameStarted(0.021);           // due at 0.020, a millisecond late
    EXPECT_EQ(pacer.WaitMs(0.021), 19);  // the next is still due at 0.040
}

TEST(FramePacer, MakesUpFramesLostToALateWakeUp) {
    FramePacer pacer(50);
    pacer.FrameStarted(0.0);
    pacer.FrameStarted(0.065);  // due at 0.020: the ones due at 0.040 and 0.060 are due now
    EXPECT_EQ(pacer.WaitMs(0.066), 0);
    pacer.FrameStarted(0.066);
    EXPECT_EQ(pacer.WaitMs(0.067), 0);
    pacer.FrameStarted(0.067);
    EXPECT_EQ(pacer.WaitMs(0.068), 12);  // back on the grid at 0.080
}

TEST(FramePacer, StartsAfreshAfterBeingHeldUp) {
    FramePacer pacer(50);
    pacer.FrameStarted(0.0);
    pacer.FrameStarted(2.0);  // a blocked source held the loop: no burst of a hundred frames
    EXPECT_EQ(pacer.WaitMs(2.0), 20);
}

TEST(FramePacer, ASimulatedSecondHoldsTheRate) {
    for (int max_fps : {30, 60, 144}) {
        FramePacer pacer(max_fps);
        double now = 0;
        int frames = 0;
        while (now < 1.0) {
            int wait_ms = pacer.WaitMs(now);
            if (wait_ms > 0) {
                now += wait_ms / 1000.0;  // whole milliseconds, as the platform waits
                continue;
            }
            pacer.FrameStarted(now);
            ++frames;
            now += 0.0013;  // drawing
        }
        EXPECT_NEAR(frames, max_fps, 1) << max_fps;
    }
}

TEST(FramePacer, HoldsTheRateWhenEveryWaitEndsLate) {
    FramePacer pacer(60);
    double now = 0;
    int frames = 0;
    while (now < 10.0) {
        int wait_ms = pacer.WaitMs(now);
        if (wait_ms > 0) {
            now += wait_ms / 1000.0 + 0.012;  // a busy machine wakes the loop 12 ms late
            continue;
        }
        pacer.FrameStarted(now);
        ++frames;
        now += 0.003;
    }
    EXPECT_NEAR(frames / 10.0, 60, 1);
}

}  // namespace
