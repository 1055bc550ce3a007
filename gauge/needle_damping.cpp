// The needle's first-order lag: shown += (target - shown) * (1 - exp(-dt / S)).
#include "gauge/needle_damping.h"

#include <cmath>

double NeedleDamping::Follow(double target, double time_constant_s, double now_s) {
    if (time_constant_s <= 0 || !primed_) {
        shown_ = target;
    } else if (now_s > last_s_) {
        shown_ += (target - shown_) * -std::expm1(-(now_s - last_s_) / time_constant_s);
    }
    last_s_ = now_s;
    primed_ = true;
    return shown_;
}
