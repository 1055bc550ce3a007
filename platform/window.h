// The window-system operations of the gauge, with the Win32 meaning. On Linux the
// layer turns SDL2 events into the same messages and virtual-key codes, so that the
// window procedure and the main loop are one piece of code for both platforms.
#pragma once

#include <cstdint>
#include <string>

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
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmQuit = 0x0012;
inline constexpr uint32_t kWmKeyDown = 0x0100;
inline constexpr uint32_t kWmKeyUp = 0x0101;
inline constexpr uint32_t kWmSysCommand = 0x0112;

// Virtual-key codes the program acts on.
inline constexpr int kVkEscape = 27;
inline constexpr int kVkLeft = 37;
inline constexpr int kVkUp = 38;
inline constexpr int kVkRight = 39;
inline constexpr int kVkDown = 40;
inline constexpr int kVkF9 = 120;
inline constexpr int kVkF11 = 122;
inline constexpr int kVkF12 = 123;

// Takes one message for any window of the thread from the queue, without waiting.
bool PeekWindowMessage(WindowMessage& message);

// Translates and dispatches a message to its window's procedure.
void DispatchWindowMessage(const WindowMessage& message);

bool SwapGaugeBuffers(DeviceContext device_context);

void SetWindowTitle(WindowHandle window, const std::string& title);

}  // namespace platform
