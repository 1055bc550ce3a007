// A scripted stand-in for the gauge window, the frame drawing, the window system and
// the network client, recording what the main loop asks of them.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/window.h"

// A message only this stand-in knows: its wparam is a bit set of keys (see KeyBit)
// that are all marked down at once, as when several key-downs came before one pass.
inline constexpr uint32_t kFakeMarkKeys = 0x8001;

inline constexpr uintptr_t KeyBit(int vk) { return uintptr_t{1} << (vk % 64); }

struct WindowCreation {
    std::string title;
    int width = 0, height = 0;
    bool frameless = false;
    int left = 0, top = 0;
    bool recreating = false;
    double at_s = 0;  // the fake clock at creation
};

struct FakeWorld {
    std::deque<platform::WindowMessage> queue;  // one taken per pass
    std::vector<WindowCreation> creations;
    std::vector<std::string> titles;   // every title set on a window, creation titles included
    std::vector<std::string> events;   // "create", "destroy", "frame", "swap", "connect", "wait"
    int fail_creation_number = 0;      // the 1-based creation that fails, 0 for none
    bool frame_result = true;
    bool server_up = false;            // what a connection attempt finds
    int destroys = 0;
    int frames = 0;
    int swaps = 0;
    int connect_attempts = 0;
    bool client_connected = false;
    // Called after each frame with the number of frames so far; a test queues keys here.
    std::function<void(int frames)> on_frame;
    std::function<void(int swaps)> on_swap;

    // The monotonic clock, advanced only by frames and by waits for messages.
    double now_s = 0;
    double frame_duration_s = 0;
    std::vector<double> frame_times_s;  // the clock at the start of each frame
    std::vector<int> waits_ms;          // every wait for a message, as asked
    // Messages that enter the queue at a time of the clock, in order; a wait ends early
    // when one arrives.
    std::deque<std::pair<double, platform::WindowMessage>> arrivals;
    void KeyAt(double at_s, int vk) {
        arrivals.push_back({at_s, {nullptr, platform::kWmKeyDown, static_cast<uintptr_t>(vk), 0}});
    }

    void Key(int vk) { queue.push_back({nullptr, platform::kWmKeyDown, static_cast<uintptr_t>(vk), 0}); }
    void Message(uint32_t message, uintptr_t wparam = 0) { queue.push_back({nullptr, message, wparam, 0}); }
};

inline FakeWorld World;

void ResetFakeWorld();
