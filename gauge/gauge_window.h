// The gauge window and its GL rendering context: creation, release, and the
// process-wide handles and input state the main loop reads.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

inline platform::WindowHandle hWnd = nullptr;
inline platform::DeviceContext hDC = nullptr;
inline platform::RenderContext hRC = nullptr;

// True while a key (by virtual-key code) is down; the main loop clears what it acts on.
inline bool KeyState[256] = {};

// False while the window is minimised.
inline bool WindowActive = true;

// Creates the window (outer size width x height at Settings.WindowLeft/Top), its GL
// context and the scene. False after a failure has been reported and released.
bool CreateGaugeWindow(const std::string& title, int width, int height, int color_bits, bool full_screen,
                       bool frameless);

// Releases whatever is held; may be called with nothing held.
void DestroyGaugeWindow();
