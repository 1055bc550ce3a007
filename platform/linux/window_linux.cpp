// The gauge's window system on Linux, through SDL2: window classes, windows and their
// GL contexts, and a thread message queue fed by SDL events turned into the Win32
// messages and virtual-key codes the window procedure understands.
#include <SDL.h>
#include <SDL_syswm.h>  // with X11/Xlib.h, to ask whether a window manager runs

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <string>

#include "platform/linux/linux_internal.h"
#include "platform/window.h"

namespace platform {

namespace {

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

std::map<std::string, WindowClass> window_classes;
std::map<SDL_Window*, NativeWindow> windows;
std::set<SDL_GLContext> render_contexts;
std::deque<WindowMessage> message_queue;
bool quit_posted = false;
int quit_code = 0;

// How long a framed window waits after showing for the window manager to tell its frame.
constexpr Uint32 kFrameWaitMs = 400;

bool EnsureVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    // Signals end the process as usual; SDL would turn them into quit events.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    // With no display SDL falls back to drivers that show nothing; a gauge nobody can
    // see is a failed window, unless SDL_VIDEODRIVER asks for such a driver.
    std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
    bool chosen = SDL_getenv("SDL_VIDEODRIVER") != nullptr;
    if (!chosen && (driver == "offscreen" || driver == "dummy" || driver == "evdev")) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    return true;
}

NativeWindow* Find(WindowHandle window) {
    auto found = windows.find(static_cast<SDL_Window*>(window));
    return found == windows.end() ? nullptr : &found->second;
}

// The virtual-key code of an SDL key, or 0 for keys the program has no code for.
int VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return 112 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 97 + (key - SDLK_KP_1);
    switch (key) {
        case SDLK_BACKSPACE: return 8;
        case SDLK_TAB: return 9;
        case SDLK_RETURN: case SDLK_KP_ENTER: return 13;
        case SDLK_LSHIFT: case SDLK_RSHIFT: return 16;
        case SDLK_LCTRL: case SDLK_RCTRL: return 17;
        case SDLK_LALT: case SDLK_RALT: return 18;
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

void Post(SDL_Window* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    message_queue.push_back(WindowMessage{window, message, wparam, lparam});
}

bool Minimised(SDL_Window* window) { return (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) != 0; }

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
            Post(window, kWmActivate, static_cast<uintptr_t>(MakeLongParam(kWaActive, Minimised(window) ? 1 : 0)), 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            Post(window, kWmActivate, static_cast<uintptr_t>(MakeLongParam(kWaInactive, Minimised(window) ? 1 : 0)), 0);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            Post(window, kWmClose, 0, 0);
            break;
        default:
            break;
    }
}

void TranslateKeyEvent(const SDL_KeyboardEvent& event) {
    SDL_Window* window = SDL_GetWindowFromID(event.windowID);
    if (window == nullptr || Find(window) == nullptr) {
        // Keys go to the focused window; with one window that is ours.
        if (windows.empty()) return;
        window = windows.begin()->first;
    }
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

// Moves SDL's pending events into the message queue until it holds one.
void FillQueue() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    SDL_Event event;
    while (message_queue.empty() && SDL_PollEvent(&event)) {
        switch (event.type) {
            case SDL_WINDOWEVENT: TranslateWindowEvent(event.window); break;
            case SDL_KEYDOWN:
            case SDL_KEYUP: TranslateKeyEvent(event.key); break;
            default: break;  // SDL_QUIT follows the last window's close, which is already WM_CLOSE
        }
    }
}

void SetIconOf(SDL_Window* window) {
    const IconImage* icon = ApplicationIcon();
    if (icon == nullptr || icon->width <= 0 || icon->height <= 0) return;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint8_t*>(icon->rgba.data()), icon->width, icon->height, 32, icon->width * 4,
        SDL_PIXELFORMAT_RGBA32);
    if (surface == nullptr) return;
    SDL_SetWindowIcon(window, surface);
    SDL_FreeSurface(surface);
}

// True when a window manager runs that will tell the frame it draws; a bare X
// server frames nothing and there is nothing to wait for.
bool WindowManagerRunning(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
    Display* display = info.info.x11.display;
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    bool running = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType,
                                      &type, &format, &count, &remaining, &data) == Success &&
                   count == 1;
    if (data) XFree(data);
    return running;
}

bool FrameExtents(SDL_Window* window, int& top, int& left, int& bottom, int& right) {
    top = left = bottom = right = 0;
    return SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) == 0 && (top | left | bottom | right) != 0;
}

}  // namespace

bool PeekWindowMessage(WindowMessage& message) {
    FillQueue();
    if (!message_queue.empty()) {
        message = message_queue.front();
        message_queue.pop_front();
        return true;
    }
    if (quit_posted) {
        quit_posted = false;
        message = WindowMessage{nullptr, kWmQuit, static_cast<uintptr_t>(quit_code), 0};
        return true;
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

bool SwapGaugeBuffers(DeviceContext device_context) {
    if (Find(device_context) == nullptr) return false;
    SDL_GL_SwapWindow(static_cast<SDL_Window*>(device_context));
    return true;
}

void SetWindowTitle(WindowHandle window, const std::string& title) {
    if (Find(window) != nullptr) SDL_SetWindowTitle(static_cast<SDL_Window*>(window), title.c_str());
}

bool RegisterWindowClass(const WindowClass& window_class) {
    if (window_class.procedure == nullptr || window_classes.count(window_class.name)) return false;
    window_classes[window_class.name] = window_class;
    return true;
}

bool UnregisterWindowClass(const char* class_name) {
    auto found = window_classes.find(class_name);
    if (found == window_classes.end()) return false;
    for (const auto& [handle, data] : windows)
        if (data.class_name == class_name) return false;
    window_classes.erase(found);
    return true;
}

WindowHandle CreateNativeWindow(uint32_t, const char* class_name, const std::string& title, uint32_t style, int x,
                                int y, int width, int height) {
    auto found = window_classes.find(class_name);
    if (found == window_classes.end() || !EnsureVideo()) return nullptr;
    // The visual is fixed when the window is made, so the GL frame buffer is asked
    // for here; the pixel-format steps then check the request against it.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    bool framed = (style & kWsPopup) == 0;
    if (!framed) flags |= SDL_WINDOW_BORDERLESS;
    if (framed && (style & kWsThickFrame)) flags |= SDL_WINDOW_RESIZABLE;
    // Until the window manager has told the frame, the client takes the whole size.
    SDL_Window* window = SDL_CreateWindow(title.c_str(), x, y, std::max(width, 1), std::max(height, 1), flags);
    if (window == nullptr) return nullptr;
    SetIconOf(window);
    NativeWindow data;
    data.class_name = class_name;
    data.procedure = found->second.procedure;
    data.requested = WindowRect{x, y, width, height};
    data.framed = framed;
    windows[window] = data;
    return window;
}

void ShowNativeWindow(WindowHandle window) {
    NativeWindow* data = Find(window);
    if (data == nullptr) return;
    auto* sdl_window = static_cast<SDL_Window*>(window);
    bool first = !data->shown;
    data->shown = true;
    SDL_ShowWindow(sdl_window);
    if (first) {
        // Windows places the outer rectangle; here the frame is known only once the
        // window manager has framed the window, so the client is fitted into it then.
        int top = 0, left = 0, bottom = 0, right = 0;
        if (data->framed && WindowManagerRunning(sdl_window)) {
            Uint32 start = SDL_GetTicks();
            while (!FrameExtents(sdl_window, top, left, bottom, right) && SDL_GetTicks() - start < kFrameWaitMs) {
                SDL_PumpEvents();
                SDL_Delay(5);
            }
        }
        const WindowRect& want = data->requested;
        int client_width = std::max(want.width - left - right, 1);
        int client_height = std::max(want.height - top - bottom, 1);
        SDL_SetWindowSize(sdl_window, client_width, client_height);
        SDL_SetWindowPosition(sdl_window, want.left + left, want.top + top);
        SDL_PumpEvents();
    }
    SDL_RaiseWindow(sdl_window);
    if (first) {
        // The first showing reports the client size and origin at once, as Win32 does.
        int width = 0, height = 0, x = 0, y = 0;
        SDL_GetWindowSize(sdl_window, &width, &height);
        SDL_GetWindowPosition(sdl_window, &x, &y);
        data->client_width = width;
        data->client_height = height;
        data->client_x = x;
        data->client_y = y;
        data->origin_known = true;
        SendWindowMessage(window, kWmSize, kSizeRestored, MakeLongParam(width, height));
        SendWindowMessage(window, kWmMove, 0, MakeLongParam(x, y));
    }
}

bool DestroyNativeWindow(WindowHandle window) {
    auto found = windows.find(static_cast<SDL_Window*>(window));
    if (found == windows.end()) return false;
    windows.erase(found);
    std::erase_if(message_queue, [window](const WindowMessage& m) { return m.window == window; });
    SDL_DestroyWindow(static_cast<SDL_Window*>(window));
    return true;
}

bool GetWindowOuterRect(WindowHandle window, WindowRect& rect) {
    if (Find(window) == nullptr) return false;
    auto* sdl_window = static_cast<SDL_Window*>(window);
    int x = 0, y = 0, width = 0, height = 0, top = 0, left = 0, bottom = 0, right = 0;
    SDL_GetWindowPosition(sdl_window, &x, &y);
    SDL_GetWindowSize(sdl_window, &width, &height);
    FrameExtents(sdl_window, top, left, bottom, right);
    rect = WindowRect{x - left, y - top, width + left + right, height + top + bottom};
    return true;
}

bool IsWindowMinimised(WindowHandle window) {
    return Find(window) != nullptr && Minimised(static_cast<SDL_Window*>(window));
}

DeviceContext GetWindowDeviceContext(WindowHandle window) { return Find(window) ? window : nullptr; }

bool ReleaseWindowDeviceContext(WindowHandle window, DeviceContext device_context) {
    return Find(window) != nullptr && device_context == window;
}

int ChooseWindowPixelFormat(DeviceContext device_context, const PixelFormatRequest& request) {
    auto* window = static_cast<SDL_Window*>(device_context);
    if (Find(window) == nullptr) return 0;
    const uint32_t needed = kPfdDrawToWindow | kPfdSupportOpenGl;
    if ((request.flags & needed) != needed || request.pixel_type != 0 || request.layer_type != 0) return 0;
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL) == 0) return 0;
    // One format: the closest to the request that the window was made with.
    return 1;
}

bool SetWindowPixelFormat(DeviceContext device_context, int format, const PixelFormatRequest&) {
    return Find(device_context) != nullptr && format == 1;
}

RenderContext CreateRenderContext(DeviceContext device_context) {
    if (Find(device_context) == nullptr) return nullptr;
    // SDL makes a new context current; wglCreateContext does not, so the previous one is put back.
    SDL_Window* previous_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_GLContext context = SDL_GL_CreateContext(static_cast<SDL_Window*>(device_context));
    if (context == nullptr) return nullptr;
    render_contexts.insert(context);
    SDL_GL_MakeCurrent(previous_window, previous);
    return context;
}

bool MakeRenderContextCurrent(DeviceContext device_context, RenderContext render_context) {
    if (render_context == nullptr) {
        SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
        return true;
    }
    if (Find(device_context) == nullptr || !render_contexts.count(render_context)) return false;
    return SDL_GL_MakeCurrent(static_cast<SDL_Window*>(device_context), render_context) == 0;
}

bool DeleteRenderContext(RenderContext render_context) {
    auto found = render_contexts.find(render_context);
    if (found == render_contexts.end()) return false;
    if (SDL_GL_GetCurrentContext() == render_context) SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
    SDL_GL_DeleteContext(render_context);
    render_contexts.erase(found);
    return true;
}

}  // namespace platform
