// The gauge window's procedure and the viewport it sets for each client size.
#pragma once

#include <cstdint>

#include "platform/window.h"

// Records keys and the minimised state for the main loop and keeps the window's
// geometry in ORVEXVari.INI.
intptr_t GaugeWindowProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Viewport and perspective projection for a client size.
void ResizeScene(int width, int height);
