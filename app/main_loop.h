// The program's life between start-up and the end of the process.
#pragma once

// Creates the gauge window and runs pass after pass until told to stop.
int RunMainLoop();

namespace platform {
class Clock;
}

// Puts another clock in place of the system's for the loop's spacing (the loop tests'
// scripted time); null goes back to the system's.
void UseLoopClock(platform::Clock* clock);
