// The needle's damping ([GAUGE] DAMPING): a first-order lag of the shown angle behind
// the scale's, timed by the monotonic clock so that it answers a step the same way at
// any frame rate (63 % of the step after one time constant). Pure: times are passed in.
#pragma once

class NeedleDamping {
public:
    // The value to show at now_s for the target just read. A time constant of 0 or less
    // shows the target as it is; so does the first call, and the first after Reset.
    double Follow(double target, double time_constant_s, double now_s);

    // The next value is shown at once, not approached (the OFF state, a new source).
    void Reset() { primed_ = false; }

private:
    double shown_ = 0;
    double last_s_ = 0;
    bool primed_ = false;
};
