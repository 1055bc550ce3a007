// Frame pacing of the main loop ([GAUGE] MAXFPS): when the next frame is due and how
// long the loop may wait for it. Pure: the loop passes in the monotonic time.
#pragma once

#include <cstdint>

class FramePacer {
public:
    // At most max_fps frames per second; 0 or less: no limit, every frame is due at once.
    explicit FramePacer(int32_t max_fps);

    bool Limited() const { return interval_s_ > 0; }

    // Whole milliseconds, rounded up, until the next frame is due at now_s; 0 once it is due.
    int WaitMs(double now_s) const;

    // A frame starts at now_s. The next one is due an interval after this one was due,
    // so that a wait that ends a little late (a busy machine wakes a sleeper late) costs
    // no frame. A frame that starts an interval or more late (a stall: a source that
    // blocks, a machine that paused the loop) stands for the frames missed meanwhile:
    // they are skipped, not drawn back to back, and the next is due an interval after it.
    void FrameStarted(double now_s);

private:
    double interval_s_ = 0;
    double next_due_s_ = 0;
    bool started_ = false;
};
