// The system's steady clock behind IMonotonicClock; the same on both platforms.
#include "platform/clock.h"

#include <chrono>

namespace platform {

namespace {
class SteadyClock final : public IMonotonicClock {
public:
    int64_t NowMilliseconds() override {
        auto since_start = std::chrono::steady_clock::now().time_since_epoch();
        return std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count();
    }
};
}  // namespace

IMonotonicClock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace platform
