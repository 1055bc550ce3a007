// The gauge window and its GL rendering context: creation, release, and the
// process-wide handles and input state the main loop reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/window.h"

inline platform::WindowHandle hWnd = nullptr;
inline platform::DeviceContext hDC = nullptr;
inline platform::RenderContext hRC = nullptr;

// True while a key (by virtual-key code) is down; the main loop clears what it acts on.
inline bool KeyState[256] = {};

// False while the window is minimised.
inline bool WindowActive = true;

// Where the window stands when it is not where the file has it: the saved rectangle lies
// on no monitor, so the window opened on the primary one. Empty otherwise. The file
// keeps its values until a key moves the window.
inline std::optional<platform::WindowRect> WindowRelocatedTo;

// Creates the window (outer size width x height at Settings.WindowLeft/Top, or on the
// primary monitor when that is on none; frameless over a whole monitor when
// full_screen), its GL context and the scene. False after a failure has been reported
// and released.
bool CreateGaugeWindow(const std::string& title, int width, int height, int color_bits, bool full_screen,
                       bool frameless);

// Releases whatever is held; may be called with nothing held.
void DestroyGaugeWindow();
