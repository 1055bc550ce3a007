// Window rectangles with a frame around the client: the wide sums and their clamps.
#include "platform/window_geometry.h"

#include <algorithm>
#include <limits>

namespace platform {

namespace {
int Clamped(int64_t value, int64_t low, int64_t high) { return static_cast<int>(std::clamp(value, low, high)); }

// Whether the point lies inside the rectangle; sums done wide, as the file's values may be any int.
bool Holds(const WindowRect& rect, int64_t x, int64_t y) {
    return x >= rect.left && x < int64_t{rect.left} + rect.width && y >= rect.top &&
           y < int64_t{rect.top} + rect.height;
}

// Whether the two rectangles share at least one pixel; an empty rectangle shares none.
bool Overlap(const WindowRect& a, const WindowRect& b) {
    return int64_t{a.left} < int64_t{b.left} + b.width && int64_t{b.left} < int64_t{a.left} + a.width &&
           int64_t{a.top} < int64_t{b.top} + b.height && int64_t{b.top} < int64_t{a.top} + a.height && a.width > 0 &&
           a.height > 0 && b.width > 0 && b.height > 0;
}

// The primary monitor, or the first listed when none says it is.
const MonitorArea& Primary(const std::vector<MonitorArea>& monitors) {
    auto found = std::find_if(monitors.begin(), monitors.end(), [](const MonitorArea& m) { return m.primary; });
    return found == monitors.end() ? monitors.front() : *found;
}
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

WindowRect FullScreenRect(const WindowRect& saved, const std::vector<MonitorArea>& monitors) {
    if (monitors.empty()) return saved;
    const int64_t centre_x = int64_t{saved.left} + saved.width / 2;
    const int64_t centre_y = int64_t{saved.top} + saved.height / 2;
    for (const MonitorArea& monitor : monitors)
        if (Holds(monitor.bounds, centre_x, centre_y)) return monitor.bounds;
    return Primary(monitors).bounds;
}

WindowRect OnScreenRect(const WindowRect& saved, const std::vector<MonitorArea>& monitors) {
    if (monitors.empty()) return saved;
    for (const MonitorArea& monitor : monitors)
        if (Overlap(saved, monitor.bounds)) return saved;
    const WindowRect& work = Primary(monitors).work;
    return WindowRect{work.left, work.top, saved.width, saved.height};
}

}  // namespace platform
