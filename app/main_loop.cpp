// The main loop: one message or one frame per pass, then the keys, then (network mode)
// reconnection; and the re-creation of the window after the frame and arrow keys.
#include "app/main_loop.h"

#include <string>

#include "config/config_file.h"
#include "config/settings.h"
#include "config/value_rules.h"
#include "gauge/frame.h"
#include "gauge/gauge_window.h"
#include "net/lx_tcp_block_client.h"
#include "platform/window.h"

namespace {

// The titles are the program's own texts, version numbers and all; tests match them.
constexpr const char* kTitleSimLink = "ZEVRA VARIOMETER v1.2 - [SIMLINK]";
constexpr const char* kTitleNetwork = "ZEVRA VARIOMETER v1.2 - [NETWORK]";
constexpr const char* kTitleConnecting = "ZEVRA VARIO - Freeware [CONNECTING...]";
constexpr const char* kTitleConnected = "ZEVRA VARIO - Freeware [NETWORK]";
constexpr int kColorBits = 32;

using namespace config_keys;

// The title given to every window of this run, chosen once by the source.
std::string window_title;

bool CreateWindowAtSettings() {
    return CreateGaugeWindow(window_title, Settings.WindowWidth, Settings.WindowHeight, kColorBits, false,
                             Settings.Frameless);
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

}  // namespace

int RunMainLoop() {
    window_title = Settings.UseNetwork ? kTitleNetwork : kTitleSimLink;
    if (!CreateWindowAtSettings()) return 0;
    Recreating = false;

    bool done = false;
    platform::WindowMessage message;
    intptr_t last_parameter = 0;
    while (!done) {
        // One message, or one frame when the queue is empty.
        if (platform::PeekWindowMessage(message)) {
            last_parameter = static_cast<intptr_t>(message.wparam);
            if (message.message == platform::kWmQuit) done = true;
            else platform::DispatchWindowMessage(message);
        } else if (WindowActive) {
            bool drawn = Settings.UseNetwork ? RenderNetworkFrame() : RenderSimulatorFrame();
            if (drawn) platform::SwapGaugeBuffers(hDC);
            else done = true;
        } else {
            platform::SwapGaugeBuffers(hDC);
        }

        // Escape ends the loop once this pass is through; its mark stays.
        if (KeyState[platform::kVkEscape]) done = true;

        // F12: frame on or off, at the size in the file, at the same position.
        if (KeyState[platform::kVkF12]) {
            DestroyGaugeWindow();
            Settings.Frameless = !Settings.Frameless;
            Settings.WindowWidth = ReadConfigInteger(kWinSize, kWidth, kDefaultSize);
            Settings.WindowHeight = ReadConfigInteger(kWinSize, kHeight, kDefaultSize);
            if (!CreateReplacementWindow()) return 0;
            KeyState[platform::kVkF12] = false;
        }

        // F11: position mode, then its arrows.
        if (KeyState[platform::kVkF11]) {
            PositionMode = !PositionMode;
            SizeMode = false;
            KeyState[platform::kVkF11] = false;
        }
        if (PositionMode && !StepArrows(kPositionSteps)) return 0;

        // F9: size mode, then its arrows.
        if (KeyState[platform::kVkF9]) {
            SizeMode = !SizeMode;
            PositionMode = false;
            KeyState[platform::kVkF9] = false;
        }
        if (SizeMode && !StepArrows(kSizeSteps)) return 0;

        // Network mode: reconnect while the server is away.
        if (Settings.UseNetwork && NetClient && !NetClient->IsConnected()) {
            platform::SetWindowTitle(hWnd, kTitleConnecting);
            NetClient->SetPort(Settings.ServerPort);
            NetClient->SetAddress(Settings.ServerAddress);
            if (NetClient->Connect()) platform::SetWindowTitle(hWnd, kTitleConnected);
        }
    }
    DestroyGaugeWindow();
    return static_cast<int>(last_parameter);
}
