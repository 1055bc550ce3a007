// The bare drawing loop the whole program is measured against: the gauge window's
// three textured quads drawn and swapped as fast as the loop runs, with no value
// source and no keys. Run from a bundle folder; prints frames per second.
// Usage: vario-frame-bench SECONDS
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "config/settings.h"
#include "app/startup.h"
#include "gauge/frame.h"
#include "gauge/gauge_window.h"
#include "platform/window.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    return RunWithTopLevelReport([&]() -> int {
        ReadConfiguration();
        if (!CreateGaugeWindow("ZEVRA frame bench", Settings.WindowWidth, Settings.WindowHeight, 32, false,
                               Settings.Frameless))
            return 1;
        Recreating = false;
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        long frames = 0;
        platform::WindowMessage message;
        while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
            if (platform::PeekWindowMessage(message)) {
                if (message.message == platform::kWmQuit) break;
                platform::DispatchWindowMessage(message);
                continue;
            }
            DrawGauge(static_cast<float>(frames % 330) - 165.0f);
            platform::SwapGaugeBuffers(hDC);
            ++frames;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("bare loop: %ld frames in %.2f s, %.1f frames/s\n", frames, elapsed, frames / elapsed);
        DestroyGaugeWindow();
        return 0;
    });
}
