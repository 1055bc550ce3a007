// The monotonic clock on the standard steady clock (CLOCK_MONOTONIC on Linux, the
// performance counter on Windows). Alone in its file, so that a test can link its own.
#include "common/monotonic_clock.h"

#include <chrono>

double MonotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
