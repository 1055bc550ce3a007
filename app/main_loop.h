// The program's life between start-up and the end of the process.
#pragma once

// Creates the gauge window and runs pass after pass until told to stop.
int RunMainLoop();
