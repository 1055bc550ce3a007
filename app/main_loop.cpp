// The main loop: one message or one frame per pass (paced by MAXFPS), then the keys,
// then reconnection (network mode) or reopening the simulator link; and the
// re-creation of the window.
#include "app/main_loop.h"

#include <string>

#include "app/frame_pacer.h"
#include "app/frame_trace.h"
#include "config/config_file.h"
#include "config/settings.h"
#include "config/value_rules.h"
#include "gauge/frame.h"
#include "gauge/gauge_window.h"
#include "net/lx_tcp_block_client.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "platform/window.h"
#include "simlink/simlink_user.h"

namespace {

// The titles are the program's own texts, version numbers and all; tests match them.
constexpr const char* kTitleSimLink = "ZEVRA VARIOMETER v1.2 - [SIMLINK]";
constexpr const char* kTitleNetwork = "ZEVRA VARIOMETER v1.2 - [NETWORK]";
constexpr const char* kTitleConnecting = "ZEVRA VARIO - Freeware [CONNECTING...]";
constexpr const char* kTitleConnected = "ZEVRA VARIO - Freeware [NETWORK]";
constexpr int kColorBits = 32;
// The least time from the end of one connection attempt to the start of the next, so
// that a server coming back is not flooded while the gauge keeps drawing.
constexpr int64_t kAttemptSpacing_ms = 250;

// Attempts to open the simulator link again, while the add-on is away, are this far apart.
constexpr int64_t kLinkReopenSpacing_ms = 1000;

using namespace config_keys;

platform::IMonotonicClock* loop_clock = nullptr;

// Simulator mode: while the link is closed (the add-on was missing, or its window went
// away), one attempt to open it when the last one is a second old. An attempt against a
// missing window is quick: it finds no window.
void ReopenSimulatorLinkWhenDue(int64_t& last_link_attempt_ms) {
    if (IpcIsOpen()) return;
    int64_t now_ms = loop_clock->NowMilliseconds();
    if (now_ms - last_link_attempt_ms < kLinkReopenSpacing_ms) return;
    last_link_attempt_ms = now_ms;
    uint32_t result = 0;
    IpcOpen(0, result);
}

// The title given to every window of this run, chosen once by the source.
std::string window_title;

// When the last connection attempt ended (window creation makes one). From the loss of
// the connection until a query is answered again the gauge is connecting, whatever
// windows it builds meanwhile; whether the window shows that in its title.
int64_t last_attempt_ms = 0;
bool connecting = false;
bool connecting_title_shown = false;

bool CreateWindowAtSettings() {
    bool created = CreateGaugeWindow(window_title, Settings.WindowWidth, Settings.WindowHeight, kColorBits,
                                     Settings.FullScreen, Settings.Frameless);
    last_attempt_ms = loop_clock->NowMilliseconds();
    connecting_title_shown = false;
    return created;
}

// A window built after the first, with the old one already gone: moves and sizes it
// reports while being built are not persisted.
bool CreateReplacementWindow() {
    Recreating = true;
    bool created = CreateWindowAtSettings();
    Recreating = false;
    return created;
}

// Destroys the window and builds it again at the geometry in Settings.
bool ReplaceWindow() {
    DestroyGaugeWindow();
    return CreateReplacementWindow();
}

// One arrow of an adjustment mode: a one-pixel step of a key of the file, then a new window.
struct ArrowStep {
    int key;
    const char* section;
    const char* name;
    const char* default_value;
    int delta;
    int32_t SettingsRecord::*field;
};

constexpr ArrowStep kPositionSteps[] = {
    {platform::kVkRight, kWindow, kX, kDefaultPosition, +1, &SettingsRecord::WindowLeft},
    {platform::kVkLeft, kWindow, kX, kDefaultPosition, -1, &SettingsRecord::WindowLeft},
    {platform::kVkUp, kWindow, kY, kDefaultPosition, -1, &SettingsRecord::WindowTop},
    {platform::kVkDown, kWindow, kY, kDefaultPosition, +1, &SettingsRecord::WindowTop},
};
constexpr ArrowStep kSizeSteps[] = {
    {platform::kVkRight, kWinSize, kWidth, kDefaultSize, +1, &SettingsRecord::WindowWidth},
    {platform::kVkLeft, kWinSize, kWidth, kDefaultSize, -1, &SettingsRecord::WindowWidth},
    {platform::kVkUp, kWinSize, kHeight, kDefaultSize, -1, &SettingsRecord::WindowHeight},
    {platform::kVkDown, kWinSize, kHeight, kDefaultSize, +1, &SettingsRecord::WindowHeight},
};

// Acts on the marked arrows in order; false when a window could not be built again.
template <size_t N>
bool StepArrows(const ArrowStep (&steps)[N]) {
    for (const ArrowStep& step : steps) {
        if (!KeyState[step.key]) continue;
        // A window opened away from its saved place (on no monitor) moves from where it
        // stands: that place goes to the file first.
        if (WindowRelocatedTo && step.section == kWindow) {
            Settings.WindowLeft = WindowRelocatedTo->left;
            Settings.WindowTop = WindowRelocatedTo->top;
            ConfigFile->WriteText(kWindow, kX, IntegerText(Settings.WindowLeft));
            ConfigFile->WriteText(kWindow, kY, IntegerText(Settings.WindowTop));
        }
        // The step starts from the file, which the window procedure keeps current.
        int32_t value = ReadConfigInteger(step.section, step.name, step.default_value);
        value = static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(step.delta));
        Settings.*step.field = value;
        ConfigFile->WriteText(step.section, step.name, IntegerText(value));
        if (!ReplaceWindow()) return false;
        KeyState[step.key] = false;
    }
    return true;
}

// Network mode without a connection: an attempt whenever the last one is far enough
// past. A connection is not yet an answer: the title waits for a query's.
void ReconnectStep() {
    if (loop_clock->NowMilliseconds() - last_attempt_ms < kAttemptSpacing_ms) return;
    NetClient->SetPort(Settings.ServerPort);
    NetClient->SetAddress(Settings.ServerAddress);
    NetClient->Connect();
    last_attempt_ms = loop_clock->NowMilliseconds();
}

// Network mode: the connecting title from the loss of the connection, the connected
// title once a frame's query has been answered with a value.
void FollowConnection(bool answered) {
    if (!NetClient) return;
    if (answered && connecting) {
        connecting = false;
        platform::SetWindowTitle(hWnd, kTitleConnected);
        connecting_title_shown = false;
    }
    if (!NetClient->IsConnected()) connecting = true;
    if (connecting && !connecting_title_shown) {
        platform::SetWindowTitle(hWnd, kTitleConnecting);
        connecting_title_shown = true;
    }
    if (!NetClient->IsConnected()) ReconnectStep();
}

// With MAXFPS, waits for the next frame's time; false when a message came first, which
// the next pass takes at once. Without it every frame is due: no clock, no wait.
bool WaitForFrameTime(FramePacer& pacer) {
    if (!pacer.Limited()) return true;
    int wait_ms = pacer.WaitMs(loop_clock->NowMilliseconds() / 1000.0);
    if (wait_ms > 0 && platform::WaitForWindowMessage(wait_ms)) return false;
    pacer.FrameStarted(loop_clock->NowMilliseconds() / 1000.0);
    return true;
}

}  // namespace

bool RunMainLoop(platform::IMonotonicClock& clock) {
    loop_clock = &clock;
    window_title = Settings.UseNetwork ? kTitleNetwork : kTitleSimLink;
    connecting = false;
    if (!CreateWindowAtSettings()) return false;
    Recreating = false;
    // The scene set-up has just tried to open the simulator link.
    int64_t last_link_attempt_ms = loop_clock->NowMilliseconds();

    FramePacer pacer(Settings.MaxFramesPerSecond);
    FrameTrace trace(platform::EnvironmentValue(kTraceVariable));
    bool done = false;
    platform::WindowMessage message;
    while (!done) {
        bool answered = false;
        // One message, or one frame when the queue is empty.
        if (platform::PeekWindowMessage(message)) {
            if (message.message == platform::kWmQuit) done = true;
            else platform::DispatchWindowMessage(message);
        } else if (WaitForFrameTime(pacer)) {
            if (WindowActive) {
                bool drawn = Settings.UseNetwork ? RenderNetworkFrame() : RenderSimulatorFrame();
                answered = drawn && !ValueMissing;
                if (!drawn) {
                    done = true;
                } else if (PictureDrawn) {
                    // A frame that left the picture on the screen as it was has nothing to swap.
                    platform::SwapGaugeBuffers(hDC);
                    trace.FrameSwapped(PictureValueMpm, ValueMissing);
                }
            } else {
                platform::SwapGaugeBuffers(hDC);
            }
        }

        // Escape ends the loop once this pass is through; its mark stays.
        if (KeyState[platform::kVkEscape]) done = true;

        // Full screen: the window is the monitor's, and the keys that would frame, move
        // or size it are passed over (the arrows act only in the modes).
        if (Settings.FullScreen)
            KeyState[platform::kVkF12] = KeyState[platform::kVkF11] = KeyState[platform::kVkF9] = false;

        // F12: frame on or off, at the size in the file, at the same position.
        if (KeyState[platform::kVkF12]) {
            DestroyGaugeWindow();
            Settings.Frameless = !Settings.Frameless;
            Settings.WindowWidth = ReadConfigInteger(kWinSize, kWidth, kDefaultSize);
            Settings.WindowHeight = ReadConfigInteger(kWinSize, kHeight, kDefaultSize);
            if (!CreateReplacementWindow()) return false;
            KeyState[platform::kVkF12] = false;
        }

        // F11: position mode, then its arrows.
        if (KeyState[platform::kVkF11]) {
            PositionMode = !PositionMode;
            SizeMode = false;
            KeyState[platform::kVkF11] = false;
        }
        if (PositionMode && !StepArrows(kPositionSteps)) return false;

        // F9: size mode, then its arrows.
        if (KeyState[platform::kVkF9]) {
            SizeMode = !SizeMode;
            PositionMode = false;
            KeyState[platform::kVkF9] = false;
        }
        if (SizeMode && !StepArrows(kSizeSteps)) return false;

        // Network mode: the title, and reconnecting while the server is away.
        if (Settings.UseNetwork) FollowConnection(answered);
        if (!Settings.UseNetwork) ReopenSimulatorLinkWhenDue(last_link_attempt_ms);
    }
    DestroyGaugeWindow();
    return true;
}
