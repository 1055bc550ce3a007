// Shared by the Linux window files: the windows SDL holds for the program and the
// thread message queue that SDL's events are turned into.
#pragma once

#include <SDL.h>

#include <deque>
#include <map>
#include <string>

#include "platform/window.h"
#include "platform/window_geometry.h"

namespace platform::sdl {

struct NativeWindow {
    std::string class_name;
    WindowProcedure procedure = nullptr;
    WindowRect requested;  // the outer rectangle asked for at creation
    bool framed = true;
    bool shown = false;
    // The client origin and size last reported to the procedure; SDL repeats itself.
    int client_x = 0, client_y = 0, client_width = -1, client_height = -1;
    bool origin_known = false;
};

inline std::map<SDL_Window*, NativeWindow> windows;

inline std::deque<WindowMessage> message_queue;
// Set when a window with the keyboard focus is destroyed: the focus then passes to the
// window built in its place (F12, the arrow keys), and the keys held meanwhile are the
// user's own presses on the gauge, not keys held before it had the focus.
inline bool focus_passes_to_new_window = false;

// The program's own window behind a handle, or null.
inline NativeWindow* Find(WindowHandle window) {
    auto found = windows.find(static_cast<SDL_Window*>(window));
    return found == windows.end() ? nullptr : &found->second;
}

inline bool Minimised(SDL_Window* window) { return (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) != 0; }

inline void Post(SDL_Window* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    message_queue.push_back(WindowMessage{window, message, wparam, lparam});
}

}  // namespace platform::sdl
