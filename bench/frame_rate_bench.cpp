// The bare programs the whole program is measured against (bench/frame_rate.sh):
//   vario-frame-bench SECONDS [MAXFPS]
//       the gauge window's three textured quads drawn and swapped with no value source
//       and no keys, as fast as the loop runs or paced to MAXFPS as the program paces
//       (the same pacer, the same wait for messages); prints frames and CPU per second
//   vario-frame-bench --first-frame
//       a bare SDL window and GL context that clears and swaps once, then prints
//       "first frame": the anchor for the program's time from start to first frame
// Run from a bundle folder.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/frame_pacer.h"
#include "app/startup.h"
#include "config/settings.h"
#include "gauge/frame.h"
#include "gauge/gauge_window.h"
#include "platform/clock.h"
#include "platform/gl.h"
#include "platform/window.h"

namespace {

double NowSeconds() { return platform::SystemClock().NowMilliseconds() / 1000.0; }

int FirstFrame() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("ZEVRA first frame bench", 0, 0, 400, 400, SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (context == nullptr) return 1;
    glClear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    std::printf("first frame\n");
    std::fflush(stdout);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}

int DrawingLoop(double seconds, int max_fps) {
    return RunWithTopLevelReport([&]() -> int {
        ReadConfiguration();
        if (!CreateGaugeWindow("ZEVRA frame bench", Settings.WindowWidth, Settings.WindowHeight, 32, false,
                               Settings.Frameless))
            return 1;
        Recreating = false;
        FramePacer pacer(max_fps);
        const double start = NowSeconds();
        const std::clock_t cpu_start = std::clock();
        long frames = 0;
        platform::WindowMessage message;
        while (NowSeconds() - start < seconds) {
            if (platform::PeekWindowMessage(message)) {
                if (message.message == platform::kWmQuit) break;
                platform::DispatchWindowMessage(message);
                continue;
            }
            int wait_ms = pacer.WaitMs(NowSeconds());
            if (wait_ms > 0 && platform::WaitForWindowMessage(wait_ms)) continue;
            pacer.FrameStarted(NowSeconds());
            DrawGauge(static_cast<float>(frames % 330) - 165.0f);
            platform::SwapGaugeBuffers(hDC);
            ++frames;
        }
        const double elapsed = NowSeconds() - start;
        const double cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
        std::printf("bare loop%s: %ld frames in %.2f s, %.3f s of CPU per second, %.1f frames/s\n",
                    max_fps > 0 ? (" at MAXFPS=" + std::to_string(max_fps)).c_str() : "", frames, elapsed,
                    cpu / elapsed, frames / elapsed);
        DestroyGaugeWindow();
        return 0;
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--first-frame") == 0) return FirstFrame();
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int max_fps = argc > 2 ? std::atoi(argv[2]) : 0;
    return DrawingLoop(seconds, max_fps);
}
