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

TEST(FramePacer, AFrameLessThanAnIntervalLateKeepsTheGrid) {
    FramePacer pacer(50);
    pacer.FrameStarted(0.0);
    pacer.FrameStarted(0.039);          // due at 0.020, 19 ms late
    EXPECT_EQ(pacer.WaitMs(0.039), 1);  // the next is still due at 0.040
}

TEST(FramePacer, SkipsTheFramesMissedInAStall) {
    // A late wake-up of 45 ms, a blocked source of 0.2 s, one of 2 s: the late frame
    // stands for the missed ones, and the next is a whole interval after it.
    for (double stall_s : {0.045, 0.2, 2.0}) {
        FramePacer pacer(50);
        pacer.FrameStarted(0.0);
        double late_s = 0.020 + stall_s;
        pacer.FrameStarted(late_s);
        EXPECT_EQ(pacer.WaitMs(late_s), 20) << stall_s;
        EXPECT_EQ(pacer.WaitMs(late_s + 0.001), 19) << stall_s;
    }
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
