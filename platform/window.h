// The window-system operations of the gauge, with the Win32 meaning. On Linux the
// layer turns SDL2 events into the same messages and virtual-key codes, so that the
// window procedure and the main loop are one piece of code for both platforms.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using WindowHandle = void*;   // HWND, or the Linux layer's window
using DeviceContext = void*;  // HDC, or the Linux layer's drawable
using RenderContext = void*;  // HGLRC, or the SDL GL context

struct WindowMessage {
    WindowHandle window = nullptr;
    uint32_t message = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;
};

// Message numbers, as Win32 numbers them.
inline constexpr uint32_t kWmMove = 0x0003;
inline constexpr uint32_t kWmSize = 0x0005;
inline constexpr uint32_t kWmActivate = 0x0006;
inline constexpr uint32_t kWmPaint = 0x000F;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmQuit = 0x0012;
inline constexpr uint32_t kWmKeyDown = 0x0100;
inline constexpr uint32_t kWmKeyUp = 0x0101;
inline constexpr uint32_t kWmSysKeyDown = 0x0104;  // Alt, F10, and keys pressed with Alt
inline constexpr uint32_t kWmSysKeyUp = 0x0105;
inline constexpr uint32_t kWmSysCommand = 0x0112;

// Keyboard input, WM_KEYFIRST to WM_KEYLAST: the keys and the characters made of them.
inline constexpr bool IsKeyMessage(uint32_t message) { return message >= 0x0100 && message <= 0x0109; }

// Virtual-key codes the program acts on.
inline constexpr int kVkEscape = 27;
inline constexpr int kVkLeft = 37;
inline constexpr int kVkUp = 38;
inline constexpr int kVkRight = 39;
inline constexpr int kVkDown = 40;
inline constexpr int kVkF9 = 120;
inline constexpr int kVkF11 = 122;
inline constexpr int kVkF12 = 123;

// wParam values: system commands, the kind of a size message, activation.
inline constexpr uintptr_t kScMinimize = 0xF020;
inline constexpr uintptr_t kScClose = 0xF060;
inline constexpr uintptr_t kScRestore = 0xF120;
inline constexpr uintptr_t kScScreenSave = 0xF140;
inline constexpr uintptr_t kScMonitorPower = 0xF170;
inline constexpr uintptr_t kSizeRestored = 0;
inline constexpr uintptr_t kSizeMinimized = 1;
inline constexpr uintptr_t kWaInactive = 0;
inline constexpr uintptr_t kWaActive = 1;

// Class and window styles, with the Win32 values.
inline constexpr uint32_t kCsVRedraw = 0x0001;
inline constexpr uint32_t kCsHRedraw = 0x0002;
inline constexpr uint32_t kCsOwnDc = 0x0020;
inline constexpr uint32_t kWsExWindowEdge = 0x00000100;
inline constexpr uint32_t kWsExTopMost = 0x00000008;  // above every window that is not topmost
inline constexpr uint32_t kWsExAppWindow = 0x00040000;
inline constexpr uint32_t kWsOverlappedWindow = 0x00CF0000;  // caption, system menu, sizing frame, min/max
inline constexpr uint32_t kWsThickFrame = 0x00040000;
inline constexpr uint32_t kWsClipChildren = 0x02000000;
inline constexpr uint32_t kWsClipSiblings = 0x04000000;
inline constexpr uint32_t kWsPopup = 0x80000000;

// Packs and unpacks the two 16-bit words of a wParam or lParam.
inline constexpr intptr_t MakeLongParam(int low, int high) {
    return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                                 (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16));
}
inline constexpr uint16_t LowWord(uintptr_t value) { return static_cast<uint16_t>(value & 0xFFFF); }
inline constexpr uint16_t HighWord(uintptr_t value) { return static_cast<uint16_t>((value >> 16) & 0xFFFF); }

using WindowProcedure = intptr_t (*)(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// What a window class holds; every window of the class shows the application icon.
struct WindowClass {
    const char* name = "";
    uint32_t style = 0;
    WindowProcedure procedure = nullptr;
};

// The pixel-format request, field by field as PIXELFORMATDESCRIPTOR has them; the
// fields not named here are 0.
inline constexpr uint32_t kPfdDoubleBuffer = 0x01;
inline constexpr uint32_t kPfdDrawToWindow = 0x04;
inline constexpr uint32_t kPfdSupportOpenGl = 0x20;
struct PixelFormatRequest {
    uint16_t size = 40;
    uint16_t version = 1;
    uint32_t flags = 0;
    uint8_t pixel_type = 0;  // RGBA
    uint8_t color_bits = 0;
    uint8_t depth_bits = 0;
    uint8_t layer_type = 0;  // main plane
};

// A window's outer rectangle (frame included), screen pixels.
struct WindowRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// One monitor: its whole rectangle and its work area (less the task bars and panels),
// screen pixels.
struct MonitorArea {
    WindowRect bounds;
    WindowRect work;
    bool primary = false;
};

// Takes one message for any window of the thread from the queue, without waiting.
bool PeekWindowMessage(WindowMessage& message);

// Waits until a message for the thread is in the queue, or timeout_ms have passed:
// true when a message is waiting (the next peek takes it), false on time-out.
bool WaitForWindowMessage(int timeout_ms);

// Translates and dispatches a message to its window's procedure.
void DispatchWindowMessage(const WindowMessage& message);

// Calls the window's procedure at once with the message and returns its result.
intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// The system's handling of a message the window procedure leaves alone.
intptr_t DefaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Puts the quit message (with the exit code as its wParam) into the thread's queue.
void PostQuitToQueue(int exit_code);

bool SwapGaugeBuffers(DeviceContext device_context);

void SetWindowTitle(WindowHandle window, const std::string& title);

// Window classes of the module: false when the name is taken (register) or unknown
// or still in use by a window (unregister).
bool RegisterWindowClass(const WindowClass& window_class);
bool UnregisterWindowClass(const char* class_name);

// Creates a hidden window whose outer rectangle is (x, y, width, height); null on failure.
WindowHandle CreateNativeWindow(uint32_t ex_style, const char* class_name, const std::string& title, uint32_t style,
                                int x, int y, int width, int height);

// Shows the window, brings it to the front and gives it the keyboard. The first
// showing sends WM_SIZE and WM_MOVE with the client size and origin to its procedure.
void ShowNativeWindow(WindowHandle window);

bool DestroyNativeWindow(WindowHandle window);

// The window's current outer rectangle; false when the window is not one of ours.
bool GetWindowOuterRect(WindowHandle window, WindowRect& rect);

bool IsWindowMinimised(WindowHandle window);

// The monitors the system shows now; empty when it cannot tell.
std::vector<MonitorArea> ListMonitors();

// The device context, pixel format and GL rendering context; each returns null, 0 or
// false on failure. GL calls made while no context is current have no effect.
DeviceContext GetWindowDeviceContext(WindowHandle window);
bool ReleaseWindowDeviceContext(WindowHandle window, DeviceContext device_context);
int ChooseWindowPixelFormat(DeviceContext device_context, const PixelFormatRequest& request);
bool SetWindowPixelFormat(DeviceContext device_context, int format, const PixelFormatRequest& request);
RenderContext CreateRenderContext(DeviceContext device_context);
bool MakeRenderContextCurrent(DeviceContext device_context, RenderContext render_context);
bool DeleteRenderContext(RenderContext render_context);

}  // namespace platform
