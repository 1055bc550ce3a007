// The monotonic clock that spaces the main loop's retries; tests put a stand-in in its place.
#pragma once

#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds from an arbitrary start; never goes back.
    virtual uint64_t NowMilliseconds() = 0;
};

// The system's steady clock; one per process.
Clock& SystemClock();

}  // namespace platform
