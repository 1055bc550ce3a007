#include "app/main_loop.h"

// Start-up hands over here; the gauge window and its loop take over this function.
int RunMainLoop() { return 0; }
