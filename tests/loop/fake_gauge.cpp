// Link-time stand-ins for the gauge window, frame drawing, window system, network client
// and simulator link, and the loop's clock, driven by FakeWorld.
#include "fake_gauge.h"

#include "config/settings.h"
#include "gauge/frame.h"
#include "gauge/gauge_window.h"
#include "net/lx_tcp_block_client.h"
#include "simlink/simlink_user.h"

namespace {
constexpr const char* kTitleNotConnected = "ZEVRA VARIOMETER v1.0 - [NOT CONNECTED]";
int fake_window_handle = 0;

// Moves the messages whose time has come into the queue.
void DeliverArrivals() {
    while (!World.arrivals.empty() && World.arrivals.front().first <= World.now_ms) {
        World.queue.push_back(World.arrivals.front().second);
        World.arrivals.pop_front();
    }
}
}  // namespace

void ResetFakeWorld() {
    World = FakeWorld{};
    WindowRelocatedTo.reset();
    for (bool& key : KeyState) key = false;
    WindowActive = true;
    hWnd = hDC = hRC = nullptr;
    NetClient.reset();
}

bool CreateGaugeWindow(const std::string& title, int width, int height, int color_bits, bool full_screen,
                       bool frameless) {
    (void)color_bits;
    World.events.push_back("create");
    World.creations.push_back({title, width, height, frameless, full_screen, Settings.WindowLeft, Settings.WindowTop,
                               Recreating, World.now_ms});
    if (static_cast<int>(World.creations.size()) == World.fail_creation_number) return false;
    hWnd = hDC = hRC = &fake_window_handle;
    WindowRelocatedTo.reset();
    if (World.creations.size() == 1) WindowRelocatedTo = World.first_window_relocated_to;
    World.titles.push_back(title);
    // The scene set-up of network mode: a new client and one connection attempt.
    if (Settings.UseNetwork) {
        NetClient = std::make_unique<TLxTcpBlockClient>();
        NetClient->Connect();
        if (!NetClient->IsConnected()) World.titles.push_back(kTitleNotConnected);
    } else {
        uint32_t result = 0;
        IpcOpen(0, result);
    }
    return true;
}

void DestroyGaugeWindow() {
    World.events.push_back("destroy");
    ++World.destroys;
    hWnd = hDC = hRC = nullptr;
    if (Settings.UseNetwork && NetClient && NetClient->IsConnected()) NetClient.reset();
}

bool RenderSimulatorFrame() {
    World.events.push_back("frame");
    World.frame_times_ms.push_back(World.now_ms);
    ++World.frames;
    PictureDrawn = !World.picture_drawn || World.picture_drawn(World.frames);
    PictureValueMpm = World.frames;
    World.now_ms += World.frame_ms;
    if (World.on_frame) World.on_frame(World.frames);
    return World.frame_result;
}

// A frame's query: a server that accepts and never answers loses the connection, one
// that answers gives a value; the frame's hook may lose the connection meanwhile.
bool RenderNetworkFrame() {
    if (World.server_silent) World.client_connected = false;
    bool drawn = RenderSimulatorFrame();
    ValueMissing = !World.client_connected;
    return drawn;
}

namespace platform {

bool PeekWindowMessage(WindowMessage& message) {
    DeliverArrivals();
    if (World.queue.empty()) return false;
    message = World.queue.front();
    World.queue.pop_front();
    return true;
}

bool WaitForWindowMessage(int timeout_ms) {
    World.events.push_back("wait");
    World.waits_ms.push_back(timeout_ms);
    DeliverArrivals();
    if (!World.queue.empty()) return true;
    int64_t end_ms = World.now_ms + timeout_ms;
    if (!World.arrivals.empty() && World.arrivals.front().first <= end_ms) {
        World.now_ms = World.arrivals.front().first;
        DeliverArrivals();
        return true;
    }
    World.now_ms = end_ms;
    return false;
}

void DispatchWindowMessage(const WindowMessage& message) {
    if (message.message == kWmKeyDown) KeyState[message.wparam & 0xFF] = true;
    if (message.message == kWmKeyUp) KeyState[message.wparam & 0xFF] = false;
    if (message.message == kWmClose) World.queue.push_back({nullptr, kWmQuit, 0, 0});
    if (message.message == kFakeMarkKeys)
        for (int vk : {kVkEscape, kVkLeft, kVkUp, kVkRight, kVkDown, kVkF9, kVkF11, kVkF12})
            if (message.wparam & (uintptr_t{1} << (vk % 64))) KeyState[vk] = true;
}

bool SwapGaugeBuffers(DeviceContext) {
    World.events.push_back("swap");
    ++World.swaps;
    if (World.on_swap) World.on_swap(World.swaps);
    return true;
}

void SetWindowTitle(WindowHandle, const std::string& title) { World.titles.push_back(title); }

}  // namespace platform

// The client as the loop sees it: connected exactly when an attempt found the server up.
TLxTcpBlockClient::TLxTcpBlockClient() = default;
TLxTcpBlockClient::~TLxTcpBlockClient() = default;
void TLxTcpBlockClient::SetPort(const std::string&) {}
void TLxTcpBlockClient::SetAddress(const std::string&) {}
bool TLxTcpBlockClient::IsConnected() { return World.client_connected; }
bool TLxTcpBlockClient::Connect() {
    World.events.push_back("connect");
    ++World.connect_attempts;
    World.attempt_times_ms.push_back(World.now_ms);
    World.now_ms += World.connect_duration_ms;
    World.client_connected = World.server_up;
    return World.client_connected;
}
void TLxTcpBlockClient::SetErrorHandler(ErrorHandler) {}
TLxTcpBlockClient::ErrorHandler TLxTcpBlockClient::GetErrorHandler() { return {}; }

// The link as the loop sees it: an attempt opens it exactly when the add-on is there.
bool IpcIsOpen() { return World.link_open; }
bool IpcOpen(uint32_t requested_sim_version, uint32_t& result) {
    World.link_open_attempts_ms.push_back(World.now_ms);
    if (World.link_open) {
        result = ResultAlreadyOpen;
        return false;
    }
    World.link_open = World.add_on_present;
    result = World.link_open ? ResultOk : ResultNoWindow;
    return requested_sim_version == 0 && World.link_open;
}
