// The program's life between start-up and the end of the process.
#pragma once

#include "platform/clock.h"

// Creates the gauge window and runs pass after pass until told to stop. The clock
// spaces the reconnection attempts of network mode.
int RunMainLoop(platform::IMonotonicClock& clock = platform::SystemClock());
