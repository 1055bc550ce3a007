// Window rectangles with a frame around the client, for window systems where the
// program places the client itself (X11): sums done wide, so that any value the
// configuration file holds gives a rectangle the window system can take.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/window.h"

namespace platform {

// The frame the window manager draws around a client, in pixels on each side.
struct FrameExtents {
    int top = 0, left = 0, bottom = 0, right = 0;
};

// X keeps coordinates in 16 signed bits and sizes in 1..32767.
inline constexpr int64_t kMinXCoordinate = -32768;
inline constexpr int64_t kMaxXCoordinate = 32767;
inline constexpr int64_t kMaxXSide = 32767;

// Where the client of an outer rectangle goes: the rectangle less the frame, brought
// into what X can hold, whatever the values (INT_MIN widths, INT_MAX positions).
struct ClientPlacement {
    int x = 0, y = 0, width = 1, height = 1;
};
ClientPlacement PlaceClient(const WindowRect& outer, const FrameExtents& frame);

// The outer rectangle of a client and its frame, each value kept within int.
WindowRect OuterRect(int client_x, int client_y, int client_width, int client_height, const FrameExtents& frame);

// The rectangle a full-screen window covers: the monitor that holds the centre of the
// saved window rectangle, else the primary one. No monitors known: the saved rectangle.
WindowRect FullScreenRect(const WindowRect& saved, const std::vector<MonitorArea>& monitors);

// Where a window saved at `saved` opens: where it was saved when any part of it lies on
// a monitor (a monitor since unplugged leaves it on none), else at the top-left corner
// of the primary monitor's work area at the saved size. No monitors known: where saved.
WindowRect OnScreenRect(const WindowRect& saved, const std::vector<MonitorArea>& monitors);

}  // namespace platform
