// Frame pacing: the waits between frames at a given MAXFPS.
#include "app/frame_pacer.h"

#include <algorithm>
#include <cmath>

FramePacer::FramePacer(int32_t max_fps) : interval_s_(max_fps > 0 ? 1.0 / max_fps : 0.0) {}

int FramePacer::WaitMs(double now_s) const {
    if (!Limited() || !started_ || now_s >= next_due_s_) return 0;
    // Rounded up, less a hair of rounding noise: a wait of 16.0000001 ms is one of 16.
    return std::max(0, static_cast<int>(std::ceil((next_due_s_ - now_s) * 1000.0 - 1e-6)));
}

void FramePacer::FrameStarted(double now_s) {
    if (!Limited()) return;
    double next = next_due_s_ + interval_s_;
    next_due_s_ = (!started_ || next <= now_s) ? now_s + interval_s_ : next;
    started_ = true;
}
