// The monotonic clock by which the main loop spaces its reconnection attempts; an
// interface so that tests can run the loop on a clock of their own.
#pragma once

#include <cstdint>

namespace platform {

class IMonotonicClock {
public:
    virtual ~IMonotonicClock() = default;
    // Milliseconds from an arbitrary start; never goes back.
    virtual int64_t NowMilliseconds() = 0;
};

// The system's steady clock.
IMonotonicClock& SystemClock();

}  // namespace platform
