// The program's life between start-up and the end of the process.
#pragma once

#include "platform/clock.h"

// Creates the gauge window and runs pass after pass until told to stop. The clock
// spaces the reconnection attempts of network mode. True after a normal end (Escape,
// the close button, an end signal); false when a window could not be built, its
// failure already reported.
bool RunMainLoop(platform::IMonotonicClock& clock = platform::SystemClock());
