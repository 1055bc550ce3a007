// A scripted stand-in for the gauge window, the frame drawing, the window system, the
// network client, the simulator link and the clock, recording what the main loop asks.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/window.h"

// A message only this stand-in knows: its wparam is a bit set of keys (see KeyBit)
// that are all marked down at once, as when several key-downs came before one pass.
inline constexpr uint32_t kFakeMarkKeys = 0x8001;

inline constexpr uintptr_t KeyBit(int vk) { return uintptr_t{1} << (vk % 64); }

struct WindowCreation {
    std::string title;
    int width = 0, height = 0;
    bool frameless = false;
    bool full_screen = false;
    int left = 0, top = 0;
    bool recreating = false;
    int64_t at_ms = 0;  // the clock at creation
};

struct FakeWorld {
    std::deque<platform::WindowMessage> queue;  // one taken per pass
    std::vector<WindowCreation> creations;
    std::vector<std::string> titles;  // every title set on a window, creation titles included
    std::vector<std::string> events;  // "create", "destroy", "frame", "swap", "connect", "wait"
    int fail_creation_number = 0;     // the 1-based creation that fails, 0 for none
    bool frame_result = true;
    bool server_up = false;           // what a connection attempt finds
    bool server_silent = false;       // it accepts, and each query then loses the connection
    int64_t connect_duration_ms = 0;  // how far the clock moves during an attempt
    int destroys = 0;
    int frames = 0;
    int swaps = 0;
    int connect_attempts = 0;
    std::vector<int64_t> attempt_times_ms;  // the clock at each connection attempt
    bool client_connected = false;
    int64_t now_ms = 0;  // what the loop's clock says; tests move it on
    // Called after each frame with the number of frames so far; a test queues keys here.
    std::function<void(int frames)> on_frame;
    // The simulator link: the add-on is there or not; the link open or closed. Every
    // attempt to open it (the scene's at creation, the loop's) is recorded with its time.
    bool add_on_present = true;
    bool link_open = false;
    std::vector<int64_t> link_open_attempts_ms;
    int64_t frame_ms = 0;  // how far the clock moves during a frame
    std::function<void(int swaps)> on_swap;
    // Whether the frame of that number (1-based) drew a new picture; none: every frame does.
    std::function<bool(int frame)> picture_drawn;
    // Where the first window stands when its saved place lies on no monitor.
    std::optional<platform::WindowRect> first_window_relocated_to;

    // Frame pacing: a wait for a message moves the clock on to the message or the time-out.
    std::vector<int64_t> frame_times_ms;  // the clock at the start of each frame
    std::vector<int> waits_ms;            // every wait for a message, as asked
    // Messages that enter the queue at a time of the clock, in order; a wait ends early
    // when one arrives.
    std::deque<std::pair<int64_t, platform::WindowMessage>> arrivals;
    void KeyAt(int64_t at_ms, int vk) {
        arrivals.push_back({at_ms, {nullptr, platform::kWmKeyDown, static_cast<uintptr_t>(vk), 0}});
    }

    void Key(int vk) { queue.push_back({nullptr, platform::kWmKeyDown, static_cast<uintptr_t>(vk), 0}); }
    void Message(uint32_t message, uintptr_t wparam = 0) { queue.push_back({nullptr, message, wparam, 0}); }
};

inline FakeWorld World;

// The loop's clock, reading World.now_ms.
struct FakeClock : platform::IMonotonicClock {
    int64_t NowMilliseconds() override { return World.now_ms; }
};

void ResetFakeWorld();
