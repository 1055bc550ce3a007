// The gauge's window system on Windows: window classes, windows, the message queue,
// the pixel format and the WGL rendering context, straight onto the Win32 calls.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <exception>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/win32_internal.h"
#include "platform/window.h"

namespace platform {

namespace {

// The neutral procedure of each registered class, called from the one Win32 procedure below.
std::map<std::string, WindowProcedure> class_procedures;

// Windows the program has destroyed while they had the keyboard focus, with the classes
// it unregistered meanwhile. Under Wine the X server sends the keys to the window that
// has its focus, and the window manager hands that focus to a new window in its own
// time: a window gone at once leaves the presses made until then with no window, and
// they are lost. So such a window stays until no window has been destroyed for a while;
// its keys go to the program's window, everything else of it to the default procedure.
std::vector<HWND> retired_windows;
std::set<std::string> retired_classes;
ULONGLONG last_retired_ms = 0;
// How long the focus may take to pass from a destroyed window to the next one.
constexpr ULONGLONG kRetiredWindowKeepMs = 300;
// The window last shown, to which the keys of retired windows go.
HWND shown_window = nullptr;

bool IsRetired(HWND window) {
    return std::find(retired_windows.begin(), retired_windows.end(), window) != retired_windows.end();
}

bool ClassName(HWND window, std::string& name) {
    char text[256];
    if (GetClassNameA(window, text, sizeof text) == 0) return false;
    name = text;
    return true;
}

WindowProcedure ProcedureOf(HWND window) {
    std::string name;
    if (IsRetired(window) || !ClassName(window, name)) return nullptr;
    auto found = class_procedures.find(name);
    return found == class_procedures.end() ? nullptr : found->second;
}

// An error raised inside a window procedure must not unwind through the system's
// frames: Windows calls the procedure through kernel callbacks (WM_MOVE and WM_SIZE
// during CreateWindowEx, ShowWindow, SetWindowPos) that a C++ exception cannot cross on
// x64. It is held here and raised again once the system call has returned.
std::exception_ptr pending_error;

LRESULT CALLBACK ClassWindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    WindowProcedure procedure = ProcedureOf(window);
    if (procedure == nullptr) return DefWindowProcA(window, message, wparam, lparam);
    // After an error nothing more of the program runs in a procedure: the error ends it.
    if (pending_error) return DefWindowProcA(window, message, wparam, lparam);
    try {
        return procedure(window, message, wparam, lparam);
    } catch (...) {
        pending_error = std::current_exception();
        return 0;
    }
}

// Raises the error a window procedure held during the system call just made, if any.
void RaisePendingError() {
    if (!pending_error) return;
    std::exception_ptr error = pending_error;
    pending_error = nullptr;
    std::rethrow_exception(error);
}

PIXELFORMATDESCRIPTOR Descriptor(const PixelFormatRequest& request) {
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = request.size;
    pfd.nVersion = request.version;
    pfd.dwFlags = request.flags;
    pfd.iPixelType = request.pixel_type;
    pfd.cColorBits = request.color_bits;
    pfd.cDepthBits = request.depth_bits;
    pfd.iLayerType = request.layer_type;
    return pfd;
}

// Destroys the retired windows once the focus has had time to pass on, and unregisters
// the classes the program gave up meanwhile.
void DestroyRetiredWindowsWhenDue() {
    if (retired_windows.empty() || GetTickCount64() - last_retired_ms < kRetiredWindowKeepMs) return;
    for (HWND window : retired_windows) DestroyWindow(window);
    retired_windows.clear();
    for (const std::string& name : retired_classes) {
        UnregisterClassA(name.c_str(), GetModuleHandleA(nullptr));
        class_procedures.erase(name);
    }
    retired_classes.clear();
}

}  // namespace

bool PeekWindowMessage(WindowMessage& message) {
    DestroyRetiredWindowsWhenDue();
    MSG msg;
    // Peeking delivers messages sent by other threads to the procedure.
    bool taken = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != 0;
    RaisePendingError();
    if (!taken) return false;
    // A key that came to a window since destroyed is the user's press on the gauge.
    if (IsKeyMessage(msg.message) && shown_window != nullptr && (IsRetired(msg.hwnd) || !IsWindow(msg.hwnd)))
        msg.hwnd = shown_window;
    message = WindowMessage{msg.hwnd, msg.message, msg.wParam, msg.lParam};
    return true;
}

bool WaitForWindowMessage(int timeout_ms) {
    // The system's timer ticks every 15.6 ms unless asked otherwise: too coarse for the
    // frame times of MAXFPS. The finer period lasts until the process ends.
    static const bool fine_timer = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)fine_timer;
    DWORD result = MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(timeout_ms > 0 ? timeout_ms : 0),
                                               QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return result == WAIT_OBJECT_0;
}

void DispatchWindowMessage(const WindowMessage& message) {
    MSG msg{};
    msg.hwnd = static_cast<HWND>(message.window);
    msg.message = message.message;
    msg.wParam = message.wparam;
    msg.lParam = message.lparam;
    msg.time = GetMessageTime();
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    RaisePendingError();
}

intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    LRESULT result = SendMessageA(static_cast<HWND>(window), message, wparam, lparam);
    RaisePendingError();
    return result;
}

intptr_t DefaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    return DefWindowProcA(static_cast<HWND>(window), message, wparam, lparam);
}

void PostQuitToQueue(int exit_code) { PostQuitMessage(exit_code); }

bool SwapGaugeBuffers(DeviceContext device_context) { return SwapBuffers(static_cast<HDC>(device_context)) != 0; }

void SetWindowTitle(WindowHandle window, const std::string& title) {
    SetWindowTextA(static_cast<HWND>(window), title.c_str());
    RaisePendingError();
}

bool RegisterWindowClass(const WindowClass& window_class) {
    // A class given up while a retired window still held it is taken back as it is.
    if (retired_classes.erase(window_class.name) != 0) {
        class_procedures[window_class.name] = window_class.procedure;
        SetClassLongPtrA(retired_windows.back(), GCLP_HICON, reinterpret_cast<LONG_PTR>(ApplicationIconHandle()));
        return true;
    }
    WNDCLASSA wc{};
    wc.style = window_class.style;
    wc.lpfnWndProc = ClassWindowProcedure;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = ApplicationIconHandle();
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr;
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = window_class.name;
    if (RegisterClassA(&wc) == 0) return false;
    class_procedures[window_class.name] = window_class.procedure;
    return true;
}

bool UnregisterWindowClass(const char* class_name) {
    if (retired_classes.count(class_name) != 0) return false;  // given up already
    std::string name;
    for (HWND window : retired_windows) {
        if (ClassName(window, name) && name == class_name) {
            retired_classes.insert(class_name);
            return true;
        }
    }
    if (UnregisterClassA(class_name, GetModuleHandleA(nullptr)) == 0) return false;
    class_procedures.erase(class_name);
    return true;
}

WindowHandle CreateNativeWindow(uint32_t ex_style, const char* class_name, const std::string& title, uint32_t style,
                                int x, int y, int width, int height) {
    HWND window = CreateWindowExA(ex_style, class_name, title.c_str(), style, x, y, width, height, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    RaisePendingError();
    return window;
}

void ShowNativeWindow(WindowHandle window) {
    HWND hwnd = static_cast<HWND>(window);
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    shown_window = hwnd;
    RaisePendingError();
}

bool DestroyNativeWindow(WindowHandle window) {
    HWND hwnd = static_cast<HWND>(window);
    if (hwnd == shown_window) shown_window = nullptr;
    // While the focus may be on it, or on a window retired before, it is kept a while.
    if (IsWindow(hwnd) && (GetFocus() == hwnd || !retired_windows.empty())) {
        retired_windows.push_back(hwnd);
        last_retired_ms = GetTickCount64();
        return true;
    }
    bool destroyed = DestroyWindow(hwnd) != 0;
    RaisePendingError();
    return destroyed;
}

bool GetWindowOuterRect(WindowHandle window, WindowRect& rect) {
    RECT r;
    if (!IsWindow(static_cast<HWND>(window)) || !GetWindowRect(static_cast<HWND>(window), &r)) return false;
    rect = WindowRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
    return true;
}

bool IsWindowMinimised(WindowHandle window) { return IsIconic(static_cast<HWND>(window)) != 0; }

namespace {
WindowRect RectOf(const RECT& rect) {
    return WindowRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}
BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info))
        reinterpret_cast<std::vector<MonitorArea>*>(list)->push_back(
            MonitorArea{RectOf(info.rcMonitor), RectOf(info.rcWork), (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}
}  // namespace

std::vector<MonitorArea> ListMonitors() {
    std::vector<MonitorArea> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

DeviceContext GetWindowDeviceContext(WindowHandle window) { return GetDC(static_cast<HWND>(window)); }

bool ReleaseWindowDeviceContext(WindowHandle window, DeviceContext device_context) {
    return ReleaseDC(static_cast<HWND>(window), static_cast<HDC>(device_context)) != 0;
}

int ChooseWindowPixelFormat(DeviceContext device_context, const PixelFormatRequest& request) {
    PIXELFORMATDESCRIPTOR pfd = Descriptor(request);
    return ChoosePixelFormat(static_cast<HDC>(device_context), &pfd);
}

bool SetWindowPixelFormat(DeviceContext device_context, int format, const PixelFormatRequest& request) {
    PIXELFORMATDESCRIPTOR pfd = Descriptor(request);
    return SetPixelFormat(static_cast<HDC>(device_context), format, &pfd) != 0;
}

RenderContext CreateRenderContext(DeviceContext device_context) {
    return wglCreateContext(static_cast<HDC>(device_context));
}

bool MakeRenderContextCurrent(DeviceContext device_context, RenderContext render_context) {
    return wglMakeCurrent(static_cast<HDC>(device_context), static_cast<HGLRC>(render_context)) != 0;
}

bool DeleteRenderContext(RenderContext render_context) {
    return wglDeleteContext(static_cast<HGLRC>(render_context)) != 0;
}

}  // namespace platform
