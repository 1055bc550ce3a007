// The gauge's windows on Linux, through SDL2: window classes, creation and release,
// and fitting the client into the outer rectangle the program asks for once the
// window manager has told its frame.
#include <SDL_syswm.h>  // with X11/Xlib.h, to ask whether a window manager runs

#include <algorithm>

#include "platform/linux/linux_internal.h"
#include "platform/linux/window_linux_internal.h"

namespace platform {

using namespace sdl;

namespace {

std::map<std::string, WindowClass> window_classes;

// How long a framed window waits after showing for the window manager to tell its frame.
constexpr Uint32 kFrameWaitMs = 400;
// How long the first showing waits for the window to stand where it was put.
constexpr Uint32 kPlaceWaitMs = 300;

bool EnsureVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    // The program's own handlers note the end signals for the message queue (events_linux.cpp);
    // SDL's would turn them into quit events it keeps to itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    CatchEndSignals();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    // The X events behind the key events, to tell the keys held before the focus.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
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

void SetIconOf(SDL_Window* window) {
    const IconImage* icon = ApplicationIcon();
    if (icon == nullptr || icon->width <= 0 || icon->height <= 0) return;
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(icon->rgba.data()), icon->width, icon->height, 32,
                                           icon->width * 4, SDL_PIXELFORMAT_RGBA32);
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
    bool running = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType, &type,
                                      &format, &count, &remaining, &data) == Success &&
                   count == 1;
    if (data) XFree(data);
    return running;
}

bool GetFrameExtents(SDL_Window* window, int& top, int& left, int& bottom, int& right) {
    top = left = bottom = right = 0;
    return SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) == 0 && (top | left | bottom | right) != 0;
}

bool Placed(SDL_Window* window, const ClientPlacement& client) {
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &width, &height);
    return x == client.x && y == client.y && width == client.width && height == client.height;
}

// Takes SDL's pending moves and sizes of the window out of its queue, the other events
// staying in their order: the first showing reports the placement itself.
int KeepAllButPlacementOf(void* window_id, SDL_Event* event) {
    if (event->type != SDL_WINDOWEVENT || event->window.windowID != *static_cast<Uint32*>(window_id)) return 1;
    const Uint8 kind = event->window.event;
    return kind != SDL_WINDOWEVENT_MOVED && kind != SDL_WINDOWEVENT_RESIZED && kind != SDL_WINDOWEVENT_SIZE_CHANGED;
}
void DropPlacementReports(SDL_Window* window) {
    Uint32 id = SDL_GetWindowID(window);
    SDL_FilterEvents(KeepAllButPlacementOf, &id);
}

}  // namespace

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

WindowHandle CreateNativeWindow(uint32_t ex_style, const char* class_name, const std::string& title, uint32_t style,
                                int x, int y, int width, int height) {
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
    if (ex_style & kWsExTopMost) flags |= SDL_WINDOW_ALWAYS_ON_TOP;  // _NET_WM_STATE_ABOVE
    // Until the window manager has told the frame, the client takes the whole size.
    const ClientPlacement start = PlaceClient(WindowRect{x, y, width, height}, FrameExtents{});
    SDL_Window* window = SDL_CreateWindow(title.c_str(), start.x, start.y, start.width, start.height, flags);
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
            while (!GetFrameExtents(sdl_window, top, left, bottom, right) && SDL_GetTicks() - start < kFrameWaitMs) {
                SDL_PumpEvents();
                SDL_Delay(5);
            }
        }
        const ClientPlacement client = PlaceClient(data->requested, FrameExtents{top, left, bottom, right});
        SDL_SetWindowSize(sdl_window, client.width, client.height);
        SDL_SetWindowPosition(sdl_window, client.x, client.y);
        SDL_PumpEvents();
        // The X server and the window manager answer the placement in their own time
        // (one far off the screen is first put on it, then where it was asked for). The
        // placement is taken once it holds, so that its late reports are not taken for
        // moves of the user's, which would be written to the file without any key.
        Uint32 start = SDL_GetTicks();
        while (!Placed(sdl_window, client) && SDL_GetTicks() - start < kPlaceWaitMs) {
            SDL_Delay(5);
            SDL_PumpEvents();
        }
        DropPlacementReports(sdl_window);
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
    if (SDL_GetWindowFlags(found->first) & SDL_WINDOW_INPUT_FOCUS) focus_passes_to_new_window = true;
    windows.erase(found);
    // Its keys are the user's presses on the gauge: they go to the next window.
    std::erase_if(message_queue,
                  [window](const WindowMessage& m) { return m.window == window && !IsKeyMessage(m.message); });
    if (!focus_passes_to_new_window) {
        SDL_DestroyWindow(static_cast<SDL_Window*>(window));
        return true;
    }
    if (retired_windows.empty()) retired_since_ms = SDL_GetTicks64();
    retired_windows.push_back(static_cast<SDL_Window*>(window));
    return true;
}

bool GetWindowOuterRect(WindowHandle window, WindowRect& rect) {
    if (Find(window) == nullptr) return false;
    auto* sdl_window = static_cast<SDL_Window*>(window);
    int x = 0, y = 0, width = 0, height = 0, top = 0, left = 0, bottom = 0, right = 0;
    SDL_GetWindowPosition(sdl_window, &x, &y);
    SDL_GetWindowSize(sdl_window, &width, &height);
    GetFrameExtents(sdl_window, top, left, bottom, right);
    rect = OuterRect(x, y, width, height, FrameExtents{top, left, bottom, right});
    return true;
}

bool IsWindowMinimised(WindowHandle window) {
    return Find(window) != nullptr && Minimised(static_cast<SDL_Window*>(window));
}

std::vector<MonitorArea> ListMonitors() {
    std::vector<MonitorArea> monitors;
    if (!EnsureVideo()) return monitors;
    const int count = SDL_GetNumVideoDisplays();
    for (int index = 0; index < count; ++index) {
        SDL_Rect bounds{}, usable{};
        if (SDL_GetDisplayBounds(index, &bounds) != 0) continue;
        if (SDL_GetDisplayUsableBounds(index, &usable) != 0) usable = bounds;
        // SDL puts the primary display first.
        monitors.push_back(MonitorArea{WindowRect{bounds.x, bounds.y, bounds.w, bounds.h},
                                       WindowRect{usable.x, usable.y, usable.w, usable.h}, index == 0});
    }
    return monitors;
}

DeviceContext GetWindowDeviceContext(WindowHandle window) { return Find(window) ? window : nullptr; }

bool ReleaseWindowDeviceContext(WindowHandle window, DeviceContext device_context) {
    return Find(window) != nullptr && device_context == window;
}

}  // namespace platform
