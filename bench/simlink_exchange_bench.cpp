// Cost of the gauge's per-frame exchange (one 2-byte read and IpcProcess) against a
// running vario-simhost, printed beside a bare request/reply round trip over the same
// transport (a message the simulator answers without looking at the area), same run.
// Usage: simlink_exchange_bench [path of vario-simhost] [rounds]
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/simlink_ipc.h"
#include "simlink/simlink_user.h"

extern char** environ;

namespace {

constexpr int kPerBatch = 100;

template <typename Step>
double MicrosecondsPerStep(Step step) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPerBatch; ++i) step();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / kPerBatch;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::string simhost = argc > 1 ? argv[1] : VARIO_SIMHOST_PATH;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 300;
    char dir_template[] = "/tmp/simlink-bench.XXXXXX";
    char* dir = mkdtemp(dir_template);
    if (!dir) return 1;
    setenv("SIMLINK_RUNTIME_DIR", dir, 1);

    char value_option[] = "--value", value[] = "-250";
    char* host_argv[] = {simhost.data(), value_option, value, nullptr};
    pid_t host_pid = 0;
    if (posix_spawn(&host_pid, simhost.c_str(), nullptr, nullptr, host_argv, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", simhost.c_str());
        return 1;
    }
    std::string socket_path = std::string(dir) + "/SIMLINKMAIN";
    struct stat info {};
    for (int i = 0; i < 100 && stat(socket_path.c_str(), &info) != 0; ++i) usleep(50000);

    uint32_t result = 0;
    int status = 0;
    if (!IpcOpen(0, result)) {
        std::fprintf(stderr, "IpcOpen failed with %u\n", result);
        status = 1;
    } else {
        platform::SimLinkIpc& ipc = platform::SystemSimLinkIpc();
        platform::SimWindowHandle window = IpcState().sim_window;
        int16_t vertical_speed_mpm = 0;
        bool all_ok = true;
        auto exchange = [&] {
            uint32_t read_result, process_result;
            all_ok &= IpcRead(kVerticalSpeedOffset, 2, &vertical_speed_mpm, read_result) && IpcProcess(process_result);
        };
        auto bare = [&] {
            intptr_t reply;
            all_ok &= ipc.SendBlockingMessage(window, 0, 0, 0, 2000, reply);
        };
        MicrosecondsPerStep(exchange);  // warm-up
        MicrosecondsPerStep(bare);
        std::vector<double> exchange_us, bare_us;
        // Short batches, alternating which goes first, so that the load of a shared
        // machine falls on both alike; the medians drop the disturbed batches.
        for (int round = 0; round < rounds; ++round) {
            if (round % 2 == 0) {
                exchange_us.push_back(MicrosecondsPerStep(exchange));
                bare_us.push_back(MicrosecondsPerStep(bare));
            } else {
                bare_us.push_back(MicrosecondsPerStep(bare));
                exchange_us.push_back(MicrosecondsPerStep(exchange));
            }
        }
        double exchange_median = Median(exchange_us), bare_median = Median(bare_us);
        std::printf("per-frame exchange (2-byte read + IpcProcess): %.2f us  (value %d)\n", exchange_median,
                    vertical_speed_mpm);
        std::printf("bare request/reply round trip, same transport: %.2f us\n", bare_median);
        std::printf("ratio: %.3f (goal: at most 1.2)  [median of %d rounds of %d]\n", exchange_median / bare_median,
                    rounds, kPerBatch);
        if (!all_ok) {
            std::fprintf(stderr, "some exchanges failed\n");
            status = 1;
        }
        IpcClose();
    }
    kill(host_pid, SIGTERM);
    waitpid(host_pid, nullptr, 0);
    rmdir(dir);
    return status;
}
