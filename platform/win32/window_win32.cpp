// The gauge's window system on Windows: window classes, windows, the message queue,
// the pixel format and the WGL rendering context, straight onto the Win32 calls.
#include <windows.h>

#include <exception>
#include <map>
#include <string>

#include "platform/win32/win32_internal.h"
#include "platform/window.h"

namespace platform {

namespace {

// The neutral procedure of each registered class, called from the one Win32 procedure below.
std::map<std::string, WindowProcedure> class_procedures;

WindowProcedure ProcedureOf(HWND window) {
    char name[256];
    if (GetClassNameA(window, name, sizeof name) == 0) return nullptr;
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

}  // namespace

bool PeekWindowMessage(WindowMessage& message) {
    MSG msg;
    // Peeking delivers messages sent by other threads to the procedure.
    bool taken = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != 0;
    RaisePendingError();
    if (!taken) return false;
    message = WindowMessage{msg.hwnd, msg.message, msg.wParam, msg.lParam};
    return true;
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
    RaisePendingError();
}

bool DestroyNativeWindow(WindowHandle window) {
    bool destroyed = DestroyWindow(static_cast<HWND>(window)) != 0;
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
