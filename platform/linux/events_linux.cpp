// The Linux message queue: SDL events and end signals turned into the Win32 messages and
// virtual-key codes the window procedure understands, and the queue's peek, wait, dispatch and quit.
#include <SDL_syswm.h>  // with X11/Xlib.h: the X server's own view of the keys held

#include <algorithm>
#include <bitset>

#include "platform/linux/linux_internal.h"
#include "platform/linux/window_linux_internal.h"

namespace platform {

using namespace sdl;

namespace {

bool quit_posted = false;
int quit_code = 0;

// The virtual-key code of an SDL key, or 0 for keys the program has no code for.
int VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return 112 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 97 + (key - SDLK_KP_1);
    switch (key) {
        case SDLK_BACKSPACE: return 8;
        case SDLK_TAB: return 9;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return 13;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return 16;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return 17;
        case SDLK_LALT:
        case SDLK_RALT: return 18;
        case SDLK_PAUSE: return 19;
        case SDLK_CAPSLOCK: return 20;
        case SDLK_ESCAPE: return kVkEscape;
        case SDLK_SPACE: return 32;
        case SDLK_PAGEUP: return 33;
        case SDLK_PAGEDOWN: return 34;
        case SDLK_END: return 35;
        case SDLK_HOME: return 36;
        case SDLK_LEFT: return kVkLeft;
        case SDLK_UP: return kVkUp;
        case SDLK_RIGHT: return kVkRight;
        case SDLK_DOWN: return kVkDown;
        case SDLK_INSERT: return 45;
        case SDLK_DELETE: return 46;
        case SDLK_KP_0: return 96;
        case SDLK_KP_MULTIPLY: return 106;
        case SDLK_KP_PLUS: return 107;
        case SDLK_KP_MINUS: return 109;
        case SDLK_KP_PERIOD: return 110;
        case SDLK_KP_DIVIDE: return 111;
        default: return 0;
    }
}

// Keys that were already down when a window of ours got the focus. On Windows only a key
// pressed while the window has the focus counts, so these are passed over until they
// are released. They reach the program two ways: SDL replays held modifiers as key-downs
// at the focus (its keyboard state then has them), and the X server repeats any held key
// to the focused window, which SDL cannot tell from a new press. For the second, the X
// server's own list of held keys is taken at the focus, and each X key event (which SDL
// hands on just before the key event it makes of it) is looked up there. A window built
// in place of the focused one takes the focus over with the keys as they are.
std::bitset<SDL_NUM_SCANCODES> held_at_focus;
std::bitset<256> x_keys_held_at_focus;  // by X key code
bool next_key_event_is_held = false;

// The X server's held keys, or none when the window is not on X.
std::bitset<256> XKeysHeld(SDL_Window* window) {
    std::bitset<256> held;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return held;
    char keymap[32] = {};
    XQueryKeymap(info.info.x11.display, keymap);
    for (size_t code = 0; code < held.size(); ++code)
        if ((static_cast<unsigned char>(keymap[code / 8]) >> (code % 8)) & 1u) held.set(code);
    return held;
}

void NoteKeysHeldAtFocus(SDL_Window* window) {
    if (focus_passes_to_new_window) {
        focus_passes_to_new_window = false;
        return;
    }
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    held_at_focus.reset();
    for (int code = 0; code < count && code < SDL_NUM_SCANCODES; ++code)
        if (state[code]) held_at_focus.set(static_cast<size_t>(code));
    x_keys_held_at_focus = XKeysHeld(window);
}

// An X event as SDL hands it on: a press or release of a key held since before the focus
// marks the key event that follows it; the release ends the key's holding.
void NoteXEvent(const SDL_SysWMmsg& message) {
    next_key_event_is_held = false;
    if (message.subsystem != SDL_SYSWM_X11) return;
    const XEvent& event = message.msg.x11.event;
    if (event.type != KeyPress && event.type != KeyRelease) return;
    const auto code = static_cast<size_t>(event.xkey.keycode);
    if (code >= x_keys_held_at_focus.size() || !x_keys_held_at_focus.test(code)) return;
    next_key_event_is_held = true;
    if (event.type == KeyRelease) x_keys_held_at_focus.reset(code);
}

// False for a key event of a key held since before the focus came.
bool PressedWithFocus(const SDL_KeyboardEvent& event) {
    if (next_key_event_is_held) {
        next_key_event_is_held = false;
        return false;
    }
    const auto scancode = static_cast<size_t>(event.keysym.scancode);
    if (scancode >= held_at_focus.size() || !held_at_focus.test(scancode)) return true;
    if (event.type == SDL_KEYUP) held_at_focus.reset(scancode);
    return false;
}

// WM_MOVE and WM_SIZE only when the client origin or size really changed.
void PostMoveIfChanged(SDL_Window* window, NativeWindow& data, int x, int y) {
    if (data.origin_known && data.client_x == x && data.client_y == y) return;
    data.client_x = x;
    data.client_y = y;
    data.origin_known = true;
    Post(window, kWmMove, 0, MakeLongParam(x, y));
}
void PostSizeIfChanged(SDL_Window* window, NativeWindow& data, int width, int height) {
    if (data.client_width == width && data.client_height == height) return;
    data.client_width = width;
    data.client_height = height;
    Post(window, kWmSize, kSizeRestored, MakeLongParam(width, height));
}

void TranslateWindowEvent(const SDL_WindowEvent& event) {
    SDL_Window* window = SDL_GetWindowFromID(event.windowID);
    NativeWindow* data = window ? Find(window) : nullptr;
    if (data == nullptr) return;
    switch (event.event) {
        case SDL_WINDOWEVENT_MOVED:
            if (!Minimised(window)) PostMoveIfChanged(window, *data, event.data1, event.data2);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (!Minimised(window)) PostSizeIfChanged(window, *data, event.data1, event.data2);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            Post(window, kWmActivate, static_cast<uintptr_t>(MakeLongParam(kWaInactive, 1)), 0);
            Post(window, kWmSize, kSizeMinimized, 0);
            data->client_width = data->client_height = 0;
            break;
        case SDL_WINDOWEVENT_RESTORED: {
            int width = 0, height = 0;
            SDL_GetWindowSize(window, &width, &height);
            PostSizeIfChanged(window, *data, width, height);
            Post(window, kWmActivate, static_cast<uintptr_t>(MakeLongParam(kWaActive, 0)), 0);
            break;
        }
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            DestroyRetiredWindows();
            NoteKeysHeldAtFocus(window);
            Post(window, kWmActivate, static_cast<uintptr_t>(MakeLongParam(kWaActive, Minimised(window) ? 1 : 0)), 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            Post(window, kWmActivate, static_cast<uintptr_t>(MakeLongParam(kWaInactive, Minimised(window) ? 1 : 0)), 0);
            break;
        case SDL_WINDOWEVENT_EXPOSED: Post(window, kWmPaint, 0, 0); break;
        case SDL_WINDOWEVENT_CLOSE: Post(window, kWmClose, 0, 0); break;
        default: break;
    }
}

void TranslateKeyEvent(const SDL_KeyboardEvent& event) {
    SDL_Window* window = SDL_GetWindowFromID(event.windowID);
    if (window == nullptr || Find(window) == nullptr) {
        // Keys go to the focused window; with one window that is ours.
        if (windows.empty()) return;
        window = windows.begin()->first;
    }
    if (!PressedWithFocus(event)) return;
    int code = VirtualKey(event.keysym.sym);
    if (code == 0) return;
    bool down = event.type == SDL_KEYDOWN;
    // Repeat count 1; bit 30 the previous state, bit 31 the transition, as Win32 has them.
    uint32_t flags = 1u;
    if (!down) flags |= 0xC0000000u;
    else if (event.repeat) flags |= 0x40000000u;
    // As on Windows, Alt, F10 and keys pressed while Alt is held (without Ctrl) are
    // system keys, which the window procedure leaves to the system.
    Uint16 mods = event.keysym.mod;
    bool system = code == 18 || event.keysym.sym == SDLK_F10 || ((mods & KMOD_ALT) && !(mods & KMOD_CTRL));
    uint32_t message = system ? (down ? kWmSysKeyDown : kWmSysKeyUp) : (down ? kWmKeyDown : kWmKeyUp);
    Post(window, message, static_cast<uintptr_t>(code), static_cast<intptr_t>(flags));
}

void TranslateEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_WINDOWEVENT: TranslateWindowEvent(event.window); break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: TranslateKeyEvent(event.key); break;
        case SDL_SYSWMEVENT:
            if (event.syswm.msg != nullptr) NoteXEvent(*event.syswm.msg);
            break;
        default: break;  // SDL_QUIT follows the last window's close, which is already WM_CLOSE
    }
}

// Moves SDL's pending events into the message queue until it holds one. Destroyed
// windows that no window of ours has taken the focus from in time go now.
void FillQueue() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    SDL_Event event;
    while (message_queue.empty() && SDL_PollEvent(&event)) TranslateEvent(event);
    if (!retired_windows.empty() && SDL_GetTicks64() - retired_since_ms > kRetiredWindowLimitMs)
        DestroyRetiredWindows();
}

// A key message of a window destroyed since it was queued belongs to the window now shown.
void RetargetKeyOfDestroyedWindow(WindowMessage& message) {
    if (IsKeyMessage(message.message) && Find(message.window) == nullptr && !windows.empty())
        message.window = windows.begin()->first;
}

// An end signal closes the window as its close button does, so that the program ends in
// order; with no window left, it is the quit message itself.
void TranslateEndSignal() {
    if (!TakeEndSignal()) return;
    if (windows.empty()) PostQuitToQueue(0);
    else Post(windows.begin()->first, kWmClose, 0, 0);
}

}  // namespace

bool PeekWindowMessage(WindowMessage& message) {
    TranslateEndSignal();
    FillQueue();
    if (!message_queue.empty()) {
        message = message_queue.front();
        message_queue.pop_front();
        RetargetKeyOfDestroyedWindow(message);
        return true;
    }
    if (quit_posted) {
        quit_posted = false;
        message = WindowMessage{nullptr, kWmQuit, static_cast<uintptr_t>(quit_code), 0};
        return true;
    }
    return false;
}

bool WaitForWindowMessage(int timeout_ms) {
    TranslateEndSignal();
    FillQueue();
    if (!message_queue.empty() || quit_posted) return true;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_Delay(static_cast<Uint32>(std::max(timeout_ms, 0)));
        return false;
    }
    // Events that give no message (the mouse crossing the window) do not end the wait.
    const Uint64 deadline = SDL_GetTicks64() + static_cast<Uint64>(std::max(timeout_ms, 0));
    SDL_Event event;
    for (Uint64 now = SDL_GetTicks64(); now < deadline; now = SDL_GetTicks64()) {
        // An end signal cuts the wait short (the wait returns early, interrupted).
        bool got_event = SDL_WaitEventTimeout(&event, static_cast<int>(deadline - now)) != 0;
        TranslateEndSignal();
        if (got_event) TranslateEvent(event);
        if (!message_queue.empty() || quit_posted) return true;
    }
    return false;
}

void DispatchWindowMessage(const WindowMessage& message) {
    if (message.window != nullptr) SendWindowMessage(message.window, message.message, message.wparam, message.lparam);
}

intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    NativeWindow* data = Find(window);
    if (data == nullptr || data->procedure == nullptr) return 0;
    return data->procedure(window, message, wparam, lparam);
}

intptr_t DefaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t) {
    auto* sdl_window = static_cast<SDL_Window*>(window);
    if (message == kWmSysCommand && Find(window) != nullptr) {
        switch (wparam & 0xFFF0) {
            case kScClose: SendWindowMessage(window, kWmClose, 0, 0); break;
            case kScMinimize: SDL_MinimizeWindow(sdl_window); break;
            case kScRestore: SDL_RestoreWindow(sdl_window); break;
            // SDL keeps the screen saver off while a window is open; the default
            // handling of these requests lets the system blank the screen again.
            case kScScreenSave:
            case kScMonitorPower: SDL_EnableScreenSaver(); break;
            default: break;
        }
    }
    return 0;
}

void PostQuitToQueue(int exit_code) {
    quit_posted = true;
    quit_code = exit_code;
}

}  // namespace platform
