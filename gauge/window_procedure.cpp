// The gauge window's procedure: key states and the minimised state for the main loop,
// the window's geometry kept in ORVEXVari.INI, and the viewport for each client size.
#include "gauge/window_procedure.h"

#include "config/config_file.h"
#include "config/settings.h"
#include "config/value_rules.h"
#include "gauge/gauge_window.h"
#include "gauge/picture_on_screen.h"
#include "platform/gl.h"

namespace {

// Stores the window's outer rectangle, the form CreateGaugeWindow takes it back in, so
// that the next start reproduces the window: frameless or framed, on any monitor. A
// minimised window has no geometry worth keeping.
void PersistWindowPosition(platform::WindowHandle window) {
    platform::WindowRect rect;
    if (platform::IsWindowMinimised(window) || !platform::GetWindowOuterRect(window, rect)) return;
    ConfigFile->WriteText(config_keys::kWindow, config_keys::kX, IntegerText(rect.left));
    ConfigFile->WriteText(config_keys::kWindow, config_keys::kY, IntegerText(rect.top));
    ReadWindowGeometry();
}

void PersistWindowSize(platform::WindowHandle window, uintptr_t size_kind) {
    platform::WindowRect rect;
    if (size_kind == platform::kSizeMinimized || platform::IsWindowMinimised(window) ||
        !platform::GetWindowOuterRect(window, rect))
        return;
    ConfigFile->WriteText(config_keys::kWinSize, config_keys::kWidth, IntegerText(rect.width));
    ConfigFile->WriteText(config_keys::kWinSize, config_keys::kHeight, IntegerText(rect.height));
    ReadWindowGeometry();
}

}  // namespace

intptr_t GaugeWindowProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    using namespace platform;
    switch (message) {
        case kWmSysCommand:
            // Neither the screen saver nor the monitor's power-down may cover the gauge.
            if (wparam == kScScreenSave || wparam == kScMonitorPower) return 0;
            break;
        case kWmActivate: WindowActive = HighWord(wparam) == 0; return 0;
        case kWmClose: PostQuitToQueue(0); return 0;
        case kWmKeyDown:
            if (wparam < 256) KeyState[wparam] = true;
            return 0;
        case kWmKeyUp:
            if (wparam < 256) KeyState[wparam] = false;
            return 0;
        case kWmMove:
            // A window moved off the saved place to be seen keeps the saved place in the file.
            if (!Recreating && !Settings.FullScreen && !WindowRelocatedTo) PersistWindowPosition(window);
            return 0;
        case kWmSize:
            ResizeScene(LowWord(static_cast<uintptr_t>(lparam)), HighWord(static_cast<uintptr_t>(lparam)));
            if (!Recreating && !Settings.FullScreen) PersistWindowSize(window, wparam);
            return 0;
        case kWmPaint:
            // Uncovered: the screen may have lost the picture.
            ScreenPicture.Forget();
            break;
        default: break;
    }
    return DefaultWindowProcedure(window, message, wparam, lparam);
}

void ResizeScene(int width, int height) {
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 0.1, 100.0);
    // A screen mounted on its side: the whole picture turned clockwise about the dial's
    // axis, before the perspective, so that the dial stays round and centred.
    if (Settings.RotateDeg != 0) glRotatef(-static_cast<float>(Settings.RotateDeg), 0.0f, 0.0f, 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ScreenPicture.Forget();
}
