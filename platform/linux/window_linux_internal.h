// Shared by the Linux window files: the windows SDL holds for the program and the
// thread message queue that SDL's events are turned into.
#pragma once

#include <SDL.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

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

// Windows the program has destroyed while the keyboard focus was (or may still be) on
// them. Each stays on the screen until a window of the program's takes the focus over:
// the X server sends the keys to the focused window, so a window gone at once would
// leave the presses made until the new one has the focus with no window of ours. Their
// keys go to the program's window; everything else of theirs is passed over.
inline std::vector<SDL_Window*> retired_windows;
inline Uint64 retired_since_ms = 0;
// The longest a destroyed window is kept when no window of ours takes the focus.
inline constexpr Uint64 kRetiredWindowLimitMs = 1000;

// Destroys the kept windows: a window of the program's has the focus, or none came in time.
inline void DestroyRetiredWindows() {
    for (SDL_Window* window : retired_windows) SDL_DestroyWindow(window);
    retired_windows.clear();
}

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
