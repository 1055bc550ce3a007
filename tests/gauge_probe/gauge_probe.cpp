// Test driver for the gauge window on a real display, natively and under Wine, run by
// the end-to-end scripts in tests/e2e:
//   snapshot PREFIX [--black-dial] [--overlay position|size|both] RAW...
//       draws one frame per raw vertical speed (metres per minute, descent positive)
//       and saves the picture read back from GL as PREFIX<RAW>.ppm (PREFIX<RAW>.again.ppm
//       for a speed given twice)
//   render FILE.ppm       draws one frame from the configured source and saves it
//   window-checks         the window procedure's handling of a real window
//   hold SECONDS          keeps the window open as the program does, logging key-downs,
//                         until the time is up, the window is closed or a file "stop" appears
//   measure FILE.ppm      prints the needle's direction and the picture's colour figures
//                         (green, white, the share of the OFF flag's red, and the box
//                         around the white pixels: left,top,right,bottom from the top)
//   angle RAW [DIR]       prints the scale's angle for a raw vertical speed: on the
//                         face DIR/ORVEXVari.INI configures, else on the original face
// The working directory holds ORVEXVari.INI, plane2.ico and the gauge images.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "common/error.h"
#include "config/config_file.h"
#include "config/settings.h"
#include "gauge/frame.h"
#include "gauge/gauge_window.h"
#include "gauge/scene.h"
#include "gauge/vertical_speed_scale.h"
#include "gauge/window_procedure.h"
#include "platform/gl.h"
#include "platform/system.h"
#include "platform/window.h"

// Every allocation of the process is counted, to show what a frame allocates.
namespace {
size_t allocation_count = 0;
}
void* operator new(std::size_t size) {
    ++allocation_count;
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

constexpr const char* kTitle = "ZEVRA VARIOMETER v1.2 - [SIMLINK]";

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows from the bottom, as GL reads them
    const uint8_t* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

bool OpenWindow() {
    Recreating = true;
    bool ok = CreateGaugeWindow(kTitle, Settings.WindowWidth, Settings.WindowHeight, 32, Settings.FullScreen,
                                Settings.Frameless);
    return ok;
}

// Hands the waiting messages to the window procedure for a while.
void PumpMessages(int duration_ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(duration_ms);
    while (std::chrono::steady_clock::now() < end) {
        platform::WindowMessage message;
        while (platform::PeekWindowMessage(message))
            if (message.message != platform::kWmQuit) platform::DispatchWindowMessage(message);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

Picture ReadBack() {
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    Picture picture;
    picture.width = viewport[2];
    picture.height = viewport[3];
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, picture.width, picture.height, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb.data());
    return picture;
}

bool SavePpm(const Picture& picture, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
    for (int y = picture.height - 1; y >= 0; --y)
        out.write(reinterpret_cast<const char*>(picture.At(0, y)), static_cast<std::streamsize>(picture.width) * 3);
    return static_cast<bool>(out);
}

bool LoadPpm(const std::string& path, Picture& picture) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int max_value = 0;
    in >> magic >> picture.width >> picture.height >> max_value;
    in.get();
    if (!in || magic != "P6" || max_value != 255 || picture.width <= 0 || picture.height <= 0) return false;
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    for (int y = picture.height - 1; y >= 0; --y)
        in.read(reinterpret_cast<char*>(&picture.rgb[static_cast<size_t>(y) * picture.width * 3]),
                static_cast<std::streamsize>(picture.width) * 3);
    return static_cast<bool>(in);
}

void DrawOverlaysFor(const std::string& overlay) {
    if (overlay == "position" || overlay == "both") DrawOverlay(TextureTable[kPositionOverlayTexture]);
    if (overlay == "size" || overlay == "both") DrawOverlay(TextureTable[kSizeOverlayTexture]);
}

int Snapshot(int argc, char** argv) {
    if (argc < 3) return 2;
    std::string prefix = argv[2];
    bool black_dial = false;
    std::string overlay;
    std::vector<int> raws;
    for (int i = 3; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--black-dial") black_dial = true;
        else if (arg == "--overlay" && i + 1 < argc) overlay = argv[++i];
        else raws.push_back(std::atoi(argv[i]));
    }
    ReadConfiguration();
    if (!OpenWindow()) return 1;
    PumpMessages(300);
    if (black_dial) {
        // The needle alone, over a dial made black.
        const uint8_t black[4 * 3] = {};
        glBindTexture(GL_TEXTURE_2D, TextureTable[kDialTexture]);
        glTexImage2D(GL_TEXTURE_2D, 0, 3, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, black);
    }
    for (int raw : raws) {
        double fpm = RawToFeetPerMinute(raw);
        double angle = RawToDialAngle(Settings.Dial, raw);
        DrawGauge(static_cast<float>(angle));
        DrawOverlaysFor(overlay);
        Picture picture = ReadBack();
        platform::SwapGaugeBuffers(hDC);
        // A speed drawn again (as the first frame in a new context and a later one) keeps both pictures.
        std::string path = prefix + std::to_string(raw) + ".ppm";
        if (std::filesystem::exists(path)) path = prefix + std::to_string(raw) + ".again.ppm";
        if (!SavePpm(picture, path)) return 1;
        std::printf("raw %d fpm %.4f angle %.4f size %dx%d\n", raw, fpm, angle, picture.width, picture.height);
    }
    std::fflush(stdout);
    DestroyGaugeWindow();
    return 0;
}

// One frame from the source the configuration chooses, as the main loop draws it.
int RenderSource(int argc, char** argv) {
    if (argc < 3) return 2;
    ReadConfiguration();
    if (!OpenWindow()) return 1;
    PumpMessages(300);
    if (Settings.UseNetwork) RenderNetworkFrame();
    else RenderSimulatorFrame();
    Picture picture = ReadBack();
    platform::SwapGaugeBuffers(hDC);
    DestroyGaugeWindow();
    return SavePpm(picture, argv[2]) ? 0 : 1;
}

int failures = 0;
void Check(bool condition, const char* what) {
    std::printf("%s: %s\n", condition ? "ok" : "FAIL", what);
    if (!condition) ++failures;
}

std::string IniText() {
    std::ifstream in(ConfigFile->Path(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool QuitWaiting() {
    platform::WindowMessage message;
    bool quit = false;
    while (platform::PeekWindowMessage(message)) {
        if (message.message == platform::kWmQuit) quit = true;
        else platform::DispatchWindowMessage(message);
    }
    return quit;
}

int WindowChecks() {
    using namespace platform;
    ReadConfiguration();
    if (!OpenWindow()) return 1;
    PumpMessages(300);
    QuitWaiting();

    // A second window while the class is registered: refused, and nothing released.
    platform::WindowHandle first_window = hWnd;
    std::printf("second creation\n");
    std::fflush(stdout);
    Check(!CreateGaugeWindow(kTitle, 200, 200, 32, false, false), "a second creation fails at the class");
    Check(hWnd == first_window && hDC != nullptr && hRC != nullptr, "the failed creation releases nothing");

    // Keys: down sets, up clears, codes past the table are left alone.
    SendWindowMessage(hWnd, kWmKeyDown, kVkF12, 1);
    Check(KeyState[kVkF12], "key down marks the key");
    SendWindowMessage(hWnd, kWmKeyDown, kVkF12, 0x40000001);
    Check(KeyState[kVkF12], "auto-repeat keeps the mark");
    SendWindowMessage(hWnd, kWmKeyUp, kVkF12, static_cast<intptr_t>(0xC0000001u));
    Check(!KeyState[kVkF12], "key up clears the mark");
    Check(SendWindowMessage(hWnd, kWmKeyDown, 300, 1) == 0, "a code past 255 is ignored");

    // Activation: only the minimised word counts.
    SendWindowMessage(hWnd, kWmActivate, static_cast<uintptr_t>(MakeLongParam(kWaInactive, 1)), 0);
    Check(!WindowActive, "minimised makes the window inactive");
    SendWindowMessage(hWnd, kWmActivate, static_cast<uintptr_t>(MakeLongParam(kWaActive, 0)), 0);
    Check(WindowActive, "restored makes it active again");
    SendWindowMessage(hWnd, kWmActivate, static_cast<uintptr_t>(MakeLongParam(kWaInactive, 0)), 0);
    Check(WindowActive, "losing the focus keeps it active");

    // System commands: screen saver and monitor power are swallowed, the rest is default.
    SendWindowMessage(hWnd, kWmSysCommand, kScScreenSave, 0);
    SendWindowMessage(hWnd, kWmSysCommand, kScMonitorPower, 2);
    Check(!QuitWaiting() && hWnd != nullptr, "screen saver and monitor power commands are swallowed");
    SendWindowMessage(hWnd, kWmSysCommand, kScClose, 0);
    Check(QuitWaiting(), "the close command reaches the default handling and ends the loop");

    // Geometry: nothing is written while a window is being built.
    std::string before = IniText();
    Recreating = true;
    SendWindowMessage(hWnd, kWmMove, 0, MakeLongParam(100, 50));
    SendWindowMessage(hWnd, kWmSize, kSizeRestored, MakeLongParam(123, 45));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    Check(IniText() == before, "moves and sizes write nothing while recreating");
    Check(viewport[2] == 123 && viewport[3] == 45, "the viewport follows a size while recreating");

    Recreating = false;
    // Values the window cannot have, so that each write shows.
    ConfigFile->WriteText("WINDOW", "X", "-7");
    ConfigFile->WriteText("WINDOW", "Y", "-7");
    ConfigFile->WriteText("WINSIZE", "WIDTH", "7");
    ConfigFile->WriteText("WINSIZE", "HEIGHT", "7");
    WindowRect outer;
    Check(GetWindowOuterRect(hWnd, outer), "the window has an outer rectangle");
    SendWindowMessage(hWnd, kWmMove, 0, MakeLongParam(100, 50));
    SendWindowMessage(hWnd, kWmSize, kSizeRestored, MakeLongParam(123, 45));
    std::printf("outer %d %d %d %d\n", outer.left, outer.top, outer.width, outer.height);
    Check(ConfigFile->ReadText("WINDOW", "X", "") == std::to_string(outer.left) &&
              ConfigFile->ReadText("WINDOW", "Y", "") == std::to_string(outer.top),
          "a move stores the outer position");
    Check(ConfigFile->ReadText("WINSIZE", "WIDTH", "") == std::to_string(outer.width) &&
              ConfigFile->ReadText("WINSIZE", "HEIGHT", "") == std::to_string(outer.height),
          "a size stores the outer size");
    Check(Settings.WindowLeft == outer.left && Settings.WindowTop == outer.top && Settings.WindowWidth == outer.width &&
              Settings.WindowHeight == outer.height,
          "the settings are read back after a write");
    before = IniText();
    SendWindowMessage(hWnd, kWmSize, kSizeMinimized, 0);
    Check(IniText() == before, "a minimised size is not stored");

    // Frames allocate nothing, with both overlays and with the link (not open here).
    // The first frames are not counted: the GL driver builds its code for new state then.
    PositionMode = SizeMode = true;
    for (int i = 0; i < 20; ++i) RenderSimulatorFrame();
    size_t before_frames = allocation_count;
    for (int i = 0; i < 20; ++i) RenderSimulatorFrame();
    PositionMode = SizeMode = false;
    std::printf("allocations in 20 frames: %zu\n", allocation_count - before_frames);
    Check(allocation_count == before_frames, "simulator frames allocate nothing");

    ResizeScene(64, 0);
    glGetIntegerv(GL_VIEWPORT, viewport);
    Check(viewport[2] == 64 && viewport[3] == 1, "a height of 0 becomes 1");

    std::printf("first release\n");
    std::fflush(stdout);
    DestroyGaugeWindow();
    Check(hWnd == nullptr && hDC == nullptr && hRC == nullptr, "the release clears every handle");
    std::printf("second release\n");
    std::fflush(stdout);
    DestroyGaugeWindow();
    std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks failed");
    return failures == 0 ? 0 : 1;
}

// Prints the window's activity and outer rectangle whenever they change; on Windows
// the messages behind them are sent to the procedure, never queued.
struct WindowWatch {
    int active = -1;
    int minimised = -1;
    platform::WindowRect rect{0, 0, -1, -1};
    void Poll() {
        if ((platform::IsWindowMinimised(hWnd) ? 1 : 0) != minimised) {
            minimised = platform::IsWindowMinimised(hWnd) ? 1 : 0;
            std::printf("minimised %d\n", minimised);
        }
        if ((WindowActive ? 1 : 0) != active) {
            active = WindowActive ? 1 : 0;
            std::printf("active %d\n", active);
        }
        platform::WindowRect now;
        if (!platform::IsWindowMinimised(hWnd) && platform::GetWindowOuterRect(hWnd, now) &&
            (now.left != rect.left || now.top != rect.top || now.width != rect.width || now.height != rect.height)) {
            rect = now;
            std::printf("outer %d %d %d %d\n", rect.left, rect.top, rect.width, rect.height);
        }
        std::fflush(stdout);
    }
};

int Hold(int argc, char** argv) {
    double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    ReadConfiguration();
    if (!OpenWindow()) return 1;
    Recreating = false;
    WindowWatch watch;
    watch.Poll();
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    bool done = false;
    while (!done && std::chrono::steady_clock::now() < end && !std::filesystem::exists("stop")) {
        platform::WindowMessage message;
        if (platform::PeekWindowMessage(message)) {
            if (message.message == platform::kWmQuit) {
                std::printf("quit\n");
                done = true;
            } else {
                platform::DispatchWindowMessage(message);
                if (message.message == platform::kWmKeyDown)
                    std::printf("key %u\n", static_cast<unsigned>(message.wparam));
            }
            watch.Poll();
            continue;
        }
        if (WindowActive) DrawGauge(0.0f);
        platform::SwapGaugeBuffers(hDC);
        watch.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    DestroyGaugeWindow();
    std::printf("settings %d %d %d %d\n", Settings.WindowLeft, Settings.WindowTop, Settings.WindowWidth,
                Settings.WindowHeight);
    return 0;
}

// The needle's direction in gauge degrees (0 at nine o'clock, clockwise positive) from
// the pixels the needle covers away from the centre, and colour figures.
int Measure(int argc, char** argv) {
    if (argc < 3) return 2;
    Picture picture;
    if (!LoadPpm(argv[2], picture)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    bool black_dial = argc > 3 && std::string(argv[3]) == "--black-dial";
    const double cx = picture.width / 2.0, cy = picture.height / 2.0;
    auto is_needle = [&](const uint8_t* p) {
        if (black_dial) return p[0] + p[1] + p[2] > 150;
        return p[0] > 150 && p[1] < 100 && p[2] < 100;
    };
    double max_radius = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (is_needle(picture.At(x, y))) max_radius = std::max(max_radius, std::hypot(x + 0.5 - cx, y + 0.5 - cy));
    double sx = 0, sy = 0;
    long count = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            double r = std::hypot(dx, dy);
            if (is_needle(picture.At(x, y)) && r > 0.4 * max_radius) {
                sx += dx / r;
                sy += dy / r;
                ++count;
            }
        }
    double needle = std::nan("");
    if (count > 0) {
        double direction = std::atan2(sy, sx) * 180.0 / std::numbers::pi;  // counter-clockwise from three o'clock
        needle = 180.0 - direction;
        if (needle > 180.0) needle -= 360.0;
    }
    // Green in the central quarter of the area and in the outer band, how much is white,
    // and how much is the OFF flag's red.
    double centre_green = 0, edge_green = 0;
    long centre_count = 0, edge_count = 0, white = 0, red = 0;
    int white_left = picture.width, white_right = -1, white_low = picture.height, white_high = -1;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = picture.At(x, y);
            double fx = std::abs(x + 0.5 - cx) / cx, fy = std::abs(y + 0.5 - cy) / cy;
            if (fx < 0.4 && fy < 0.4) centre_green += p[1], ++centre_count;
            if (fx > 0.75 || fy > 0.75) edge_green += p[1], ++edge_count;
            if (p[0] >= 250 && p[1] >= 250 && p[2] >= 250) {
                ++white;
                white_left = std::min(white_left, x), white_right = std::max(white_right, x);
                white_low = std::min(white_low, y), white_high = std::max(white_high, y);
            }
            if (p[0] >= 180 && p[1] <= 60 && p[2] <= 60) ++red;
        }
    const double area = static_cast<double>(picture.width) * picture.height;
    std::printf(
        "needle %.3f pixels %ld radius %.1f centre_green %.1f edge_green %.1f white %.4f red %.4f "
        "white_box %d,%d,%d,%d\n",
        needle, count, max_radius, centre_count ? centre_green / centre_count : 0.0,
        edge_count ? edge_green / edge_count : 0.0, static_cast<double>(white) / area, static_cast<double>(red) / area,
        white_left, picture.height - 1 - white_high, white_right, picture.height - 1 - white_low);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "measure") return Measure(argc, argv);
    if (command == "angle" && argc == 3) {
        std::printf("%.4f\n", VerticalSpeedToAngle(RawToFeetPerMinute(std::atoi(argv[2]))));
        return 0;
    }
    if (command == "angle" && argc == 4) {
        std::filesystem::current_path(argv[3]);
        try {
            ReadConfiguration();
        } catch (const EVarioError& error) {
            std::fprintf(stderr, "%s\n", error.what());
            return 1;
        }
        std::printf("%.4f\n", RawToDialAngle(Settings.Dial, std::atoi(argv[2])));
        return 0;
    }
    int status = RunWithTopLevelReport([&]() -> int {
        if (command == "snapshot") return Snapshot(argc, argv);
        if (command == "render") return RenderSource(argc, argv);
        if (command == "window-checks") return WindowChecks();
        if (command == "hold") return Hold(argc, argv);
        std::fprintf(stderr, "usage: vario-gauge-probe snapshot|render|window-checks|hold|measure|angle ...\n");
        return 2;
    });
    std::fflush(stdout);
    platform::ExitProcess(status);
}
