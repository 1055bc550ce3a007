// vario-simlink-probe: a minimal client of the simulator link for the tests and for
// checking a simulator by hand: opens the link, reads the vertical speed a few times.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "simlink/simlink_user.h"

int main(int argc, char** argv) {
    long reads = 1, interval_ms = 0;
    unsigned long requested = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string arg = argv[i];
        if (arg == "--reads") reads = std::strtol(argv[i + 1], nullptr, 0);
        else if (arg == "--interval-ms") interval_ms = std::strtol(argv[i + 1], nullptr, 0);
        else if (arg == "--sim-version") requested = std::strtoul(argv[i + 1], nullptr, 0);
        else {
            std::fprintf(stderr, "usage: vario-simlink-probe [--reads N] [--interval-ms MS] [--sim-version V]\n");
            return 2;
        }
    }
    uint32_t result = 0;
    bool open = IpcOpen(static_cast<uint32_t>(requested), result);
    SimLinkState state = IpcState();
    std::printf("open: result %u add-on version 0x%08X sim version 0x%X\n", result, state.add_on_version,
                state.sim_version);
    std::fflush(stdout);
    bool all_ok = open;
    for (long i = 0; i < reads; ++i) {
        if (i > 0 && interval_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms));
        int16_t vertical_speed_mpm = 12345;  // stays when the exchange fails
        uint32_t read_result = 0, process_result = 0;
        bool ok = IpcRead(kVerticalSpeedOffset, 2, &vertical_speed_mpm, read_result) && IpcProcess(process_result);
        std::printf("read: result %u value %d\n", read_result != 0 ? read_result : process_result, vertical_speed_mpm);
        std::fflush(stdout);
        all_ok = all_ok && ok;
    }
    return all_ok ? 0 : 1;
}
