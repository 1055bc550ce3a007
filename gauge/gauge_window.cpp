// Creation and release of the gauge window, its device context and GL rendering
// context, with the message boxes of each failing step.
#include "gauge/gauge_window.h"

#include "config/settings.h"
#include "gauge/icon_file.h"
#include "gauge/scene.h"
#include "gauge/window_procedure.h"
#include "net/lx_tcp_block_client.h"
#include "platform/dialogs.h"
#include "platform/window_geometry.h"

namespace {

constexpr const char* kWindowClassName = "OpenGl";
constexpr uint32_t kClassStyle = platform::kCsHRedraw | platform::kCsVRedraw | platform::kCsOwnDc;

constexpr uint32_t kFramedExStyle = platform::kWsExAppWindow | platform::kWsExWindowEdge;
constexpr uint32_t kFramedStyle = platform::kWsOverlappedWindow | platform::kWsClipSiblings | platform::kWsClipChildren;
constexpr uint32_t kFramelessExStyle = platform::kWsExAppWindow;
constexpr uint32_t kFramelessStyle = platform::kWsPopup | platform::kWsClipSiblings | platform::kWsClipChildren;

constexpr int kDepthBits = 32;

// The program's own captions and messages, kept as they are shown (" Shutdown Error"
// with its leading blank, "Cant't"); tests match them.
constexpr const char* kErrorCaption = "Error";
constexpr const char* kShutdownErrorCaption = " Shutdown Error";
constexpr const char* kUnregisterCaption = "SHUTDOWN ERROR";

constexpr const char* kRegisterFailed = "Failed To Register The Window Class.";
constexpr const char* kCreateWindowFailed = "Window creation error.";
constexpr const char* kDeviceContextFailed = "Cant't create a GL device context.";
constexpr const char* kChooseFormatFailed = "Cant't Find A Suitable PixelFormat.";
constexpr const char* kSetFormatFailed = "Cant't set PixelFormat.";
constexpr const char* kCreateContextFailed = "Cant't create a GL rendering context.";
constexpr const char* kMakeCurrentFailed = "Cant't activate the GL rendering context.";
constexpr const char* kInitFailed = "initialization failed.";

constexpr const char* kReleaseCurrentFailed = "Release of DC and RC failed.";
constexpr const char* kDeleteContextFailed = "Release of Rendering Context failed.";
constexpr const char* kReleaseDcFailed = "Release of Device Context failed.";
constexpr const char* kDestroyWindowFailed = "Could not release hWnd.";
constexpr const char* kUnregisterFailed = "Could Not Unregister Class.";

// Releases what the creation made so far, reports the failing step, and fails.
bool FailCreation(const char* message) {
    DestroyGaugeWindow();
    platform::ShowMessageBox(message, kErrorCaption, platform::kBoxOk | platform::kBoxIconExclamation);
    return false;
}

void ShutdownError(const char* message) {
    platform::ShowMessageBox(message, kShutdownErrorCaption, platform::kBoxOk | platform::kBoxIconError);
}

}  // namespace

bool CreateGaugeWindow(const std::string& title, int width, int height, int color_bits, bool full_screen,
                       bool frameless) {
    // The class icon comes from "plane2.ico" anew; a missing file is reported at the top.
    LoadApplicationIcon();

    platform::WindowClass window_class;
    window_class.name = kWindowClassName;
    window_class.style = kClassStyle;
    window_class.procedure = GaugeWindowProc;
    if (!platform::RegisterWindowClass(window_class)) {
        platform::ShowMessageBox(kRegisterFailed, kErrorCaption, platform::kBoxOk | platform::kBoxIconError);
        return false;
    }

    // The monitors as they are now: one may have gone since the geometry was saved.
    const platform::WindowRect saved{Settings.WindowLeft, Settings.WindowTop, width, height};
    const std::vector<platform::MonitorArea> monitors = platform::ListMonitors();
    const platform::WindowRect placed =
        full_screen ? platform::FullScreenRect(saved, monitors) : platform::OnScreenRect(saved, monitors);
    WindowRelocatedTo.reset();
    if (!full_screen && (placed.left != saved.left || placed.top != saved.top)) WindowRelocatedTo = placed;
    if (full_screen) frameless = true;

    uint32_t ex_style = frameless ? kFramelessExStyle : kFramedExStyle;
    if (Settings.TopMost) ex_style |= platform::kWsExTopMost;
    uint32_t style = frameless ? kFramelessStyle : kFramedStyle;

    // The size is the window's outer size, frame included, as the procedure stores it.
    hWnd = platform::CreateNativeWindow(ex_style, kWindowClassName, title, style, placed.left, placed.top, placed.width,
                                        placed.height);
    if (!hWnd) return FailCreation(kCreateWindowFailed);

    hDC = platform::GetWindowDeviceContext(hWnd);
    if (!hDC) return FailCreation(kDeviceContextFailed);

    platform::PixelFormatRequest request;
    request.flags = platform::kPfdDrawToWindow | platform::kPfdSupportOpenGl | platform::kPfdDoubleBuffer;
    request.color_bits = static_cast<uint8_t>(color_bits);
    request.depth_bits = kDepthBits;
    int format = platform::ChooseWindowPixelFormat(hDC, request);
    if (format == 0) return FailCreation(kChooseFormatFailed);
    if (!platform::SetWindowPixelFormat(hDC, format, request)) return FailCreation(kSetFormatFailed);

    hRC = platform::CreateRenderContext(hDC);
    if (!hRC) return FailCreation(kCreateContextFailed);
    if (!platform::MakeRenderContextCurrent(hDC, hRC)) return FailCreation(kMakeCurrentFailed);

    // The first showing sends WM_SIZE, and the procedure sets the viewport then.
    platform::ShowNativeWindow(hWnd);
    if (frameless) ResizeScene(placed.width, placed.height);

    if (!InitScene()) return FailCreation(kInitFailed);
    return true;
}

void DestroyGaugeWindow() {
    if (hRC) {
        if (!platform::MakeRenderContextCurrent(hDC, nullptr)) ShutdownError(kReleaseCurrentFailed);
        if (!platform::DeleteRenderContext(hRC)) ShutdownError(kDeleteContextFailed);
        hRC = nullptr;
    }
    if (hDC) {
        if (!platform::ReleaseWindowDeviceContext(hWnd, hDC)) ShutdownError(kReleaseDcFailed);
        hDC = nullptr;
    }
    if (hWnd) {
        if (!platform::DestroyNativeWindow(hWnd)) ShutdownError(kDestroyWindowFailed);
        hWnd = nullptr;
    }
    if (!platform::UnregisterWindowClass(kWindowClassName))
        platform::ShowMessageBox(kUnregisterFailed, kUnregisterCaption,
                                 platform::kBoxOk | platform::kBoxIconInformation);
    // A connected client goes with its window; one that is not is replaced by the next InitScene.
    if (Settings.UseNetwork && NetClient && NetClient->IsConnected()) NetClient.reset();
}
