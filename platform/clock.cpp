// The system's steady clock behind platform::Clock, the same on every platform.
#include "platform/clock.h"

#include <chrono>

namespace platform {
namespace {

class SteadyClock final : public Clock {
public:
    uint64_t NowMilliseconds() override {
        auto since_start = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
    }
};

}  // namespace

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace platform
