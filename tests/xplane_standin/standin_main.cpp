// vario-xplane-standin: the X-Plane stand-in as a program for the end-to-end tests.
// Usage: vario-xplane-standin [--port N] [--port-file FILE] [--script T:FPM,... |
//                             --energy-trade MPS]
// Prints "listening on port N", then one line per subscription event. The script's
// values are feet per minute, climb positive, timed from the start; default 0.
// --energy-trade flies a glider that trades speed for height at constant energy: 10 s
// climbing at MPS m/s from 1000 m and 60 m/s, then 10 s diving back, over and over; the
// vertical speed indicator shows the climb.
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/vertical_speed_units.h"
#include "tests/xplane_standin/xplane_standin.h"
#include "tools/common/flight_profile.h"
#include "tools/common/total_energy.h"

namespace {
volatile std::sig_atomic_t stop_requested = 0;
extern "C" void RequestStop(int) { stop_requested = 1; }
}  // namespace

int main(int argc, char** argv) {
    uint16_t port = 0;
    std::string port_file;
    FlightProfile profile = FlightProfile::Fixed(0);
    double trade_mps = 0;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vario-xplane-standin: %s needs a value\n", option.c_str());
            return 2;
        }
        std::string value = argv[++i];
        std::string error;
        if (option == "--port") {
            port = static_cast<uint16_t>(std::atoi(value.c_str()));
        } else if (option == "--port-file") {
            port_file = value;
        } else if (option == "--script") {
            auto script = FlightProfile::FromScript(value, error);
            if (!script) {
                std::fprintf(stderr, "vario-xplane-standin: %s\n", error.c_str());
                return 2;
            }
            profile = *script;
        } else if (option == "--energy-trade") {
            trade_mps = std::atof(value.c_str());
        } else {
            std::fprintf(stderr, "vario-xplane-standin: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    platform::StartSocketModule();
    XPlaneStandIn standin(platform::kLoopbackAddressNet, port);
    if (!standin.Ok()) {
        std::fprintf(stderr, "vario-xplane-standin: cannot open UDP port %u\n", static_cast<unsigned>(port));
        return 1;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    if (!port_file.empty()) {
        std::string partial = port_file + ".part";
        FILE* file = std::fopen(partial.c_str(), "w");
        if (file == nullptr || std::fprintf(file, "%u\n", static_cast<unsigned>(standin.Port())) < 0 ||
            std::fclose(file) != 0 || std::rename(partial.c_str(), port_file.c_str()) != 0)
            return 1;
    }
    standin.on_event = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    std::printf("listening on port %u\n", static_cast<unsigned>(standin.Port()));
    std::fflush(stdout);
    auto start = XPlaneStandIn::Clock::now();
    while (!stop_requested) {
        double seconds = std::chrono::duration<double>(XPlaneStandIn::Clock::now() - start).count();
        if (trade_mps != 0) {
            constexpr double kStartHeight = 1000, kStartSpeed = 60, kHalfCycle = 10;
            double phase = std::fmod(seconds, 2 * kHalfCycle);
            bool climbing = phase < kHalfCycle;
            double gained = trade_mps * (climbing ? phase : 2 * kHalfCycle - phase);
            double speed = std::sqrt(kStartSpeed * kStartSpeed - 2 * kStandardGravity * gained);
            standin.SetVerticalSpeed(static_cast<float>((climbing ? trade_mps : -trade_mps) * 60 * kFeetPerMetre));
            standin.SetEnergyState(static_cast<float>(kStartHeight + gained), static_cast<float>(speed),
                                   static_cast<float>(seconds));
        } else {
            standin.SetVerticalSpeed(static_cast<float>(profile.ValueAt(seconds)));
        }
        standin.Serve(std::chrono::milliseconds(5));
    }
    return 0;
}
