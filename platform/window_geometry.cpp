// Window rectangles with a frame around the client: the wide sums and their clamps.
#include "platform/window_geometry.h"

#include <algorithm>
#include <limits>

namespace platform {

namespace {
int Clamped(int64_t value, int64_t low, int64_t high) { return static_cast<int>(std::clamp(value, low, high)); }
}  // namespace

ClientPlacement PlaceClient(const WindowRect& outer, const FrameExtents& frame) {
    // The file's values are taken as they are, so the sums are done wide and only then
    // brought into what X can hold.
    return ClientPlacement{Clamped(int64_t{outer.left} + frame.left, kMinXCoordinate, kMaxXCoordinate),
                           Clamped(int64_t{outer.top} + frame.top, kMinXCoordinate, kMaxXCoordinate),
                           Clamped(int64_t{outer.width} - frame.left - frame.right, 1, kMaxXSide),
                           Clamped(int64_t{outer.height} - frame.top - frame.bottom, 1, kMaxXSide)};
}

WindowRect OuterRect(int client_x, int client_y, int client_width, int client_height, const FrameExtents& frame) {
    constexpr int64_t kLow = std::numeric_limits<int>::min(), kHigh = std::numeric_limits<int>::max();
    return WindowRect{Clamped(int64_t{client_x} - frame.left, kLow, kHigh),
                      Clamped(int64_t{client_y} - frame.top, kLow, kHigh),
                      Clamped(int64_t{client_width} + frame.left + frame.right, kLow, kHigh),
                      Clamped(int64_t{client_height} + frame.top + frame.bottom, kLow, kHigh)};
}

}  // namespace platform
