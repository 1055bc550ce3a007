// The whole panel road at MAXFPS=60: X-Plane stand-in -> vario-dataserver --source xplane
// -> ORVEXVario (network mode, ORVEX_TRACE). From a change of value in the stand-in to
// the first frame on the screen showing it, beside half the feed period plus one frame
// period; and the gauge's CPU time per second with a constant value beside a value that
// changes every frame. Needs a display.
// Usage: panel_latency_bench BUNDLE_DIR [CHANGES]   (BUNDLE_DIR: dist/linux of scripts/build;
//        DISPLAY set, e.g. an Xvfb of 1280x1024x24)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/spawned_data_server.h"
#include "common/vertical_speed_units.h"
#include "tests/xplane_standin/xplane_standin.h"
#include "tools/common/simulator_feeds.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMaxFps = 60;

double NowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }

// The gauge as a process of its own in `dir`, tracing to `trace`; 0 when it did not start.
// The environment is made before the fork: the child of a threaded process only execs.
pid_t StartGauge(const std::filesystem::path& program, const std::filesystem::path& dir,
                 const std::filesystem::path& trace) {
    std::vector<std::string> words = {"ORVEX_TRACE=" + trace.string(), "ORVEX_DIALOGS=stderr"};
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (std::strncmp(*variable, "ORVEX_", 6) != 0) words.push_back(*variable);
    std::vector<char*> env;
    for (std::string& word : words) env.push_back(word.data());
    env.push_back(nullptr);
    pid_t pid = fork();
    if (pid != 0) return pid < 0 ? 0 : pid;
    if (chdir(dir.c_str()) != 0) _exit(127);
    execle(program.c_str(), program.c_str(), static_cast<char*>(nullptr), env.data());
    _exit(127);
}

// The gauge's folder: the bundle's images and icon, and a frameless network gauge at MAXFPS.
void MakeGaugeFolder(const std::filesystem::path& bundle, const std::filesystem::path& dir, const std::string& port) {
    std::filesystem::create_directories(dir);
    for (const auto& entry : std::filesystem::directory_iterator(bundle))
        if ((entry.path().extension() == ".txr" || entry.path().extension() == ".ico") &&
            !std::filesystem::exists(dir / entry.path().filename()))
            std::filesystem::create_symlink(entry.path(), dir / entry.path().filename());
    std::ofstream(dir / "ORVEXVari.INI") << "[LAN]\nUSELAN=Y\nORVEXSERVER=127.0.0.1\nORVEXPORT=" << port
                                         << "\n[WINDOW]\nX=0\nY=0\n[WINSIZE]\nWIDTH=300\nHEIGHT=300\n"
                                         << "[WINBORDER]\nACTIVE=N\n[GAUGE]\nMAXFPS=" << kMaxFps << "\n";
}

// User and system CPU seconds of a process so far.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) ticks += std::atof(field.c_str());
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct TraceLine {
    double time_ms;
    std::string value;
};
std::vector<TraceLine> ReadTrace(const std::filesystem::path& path) {
    std::vector<TraceLine> lines;
    std::ifstream in(path);
    TraceLine line;
    while (in >> line.time_ms >> line.value) lines.push_back(line);
    return lines;
}

// The raw value (metres per minute) of change k: a step of at least 10 on the dial's
// range, never the one before.
int RawOfChange(int k) { return (k % 2 ? 1 : -1) * 10 * (k % 120 + 1); }

// A gauge started in `dir` against the data server on `port`, once it has put its first
// frame on the screen; ended with SIGTERM when the object goes.
class TracedGauge {
public:
    TracedGauge(const std::filesystem::path& bundle, const std::filesystem::path& dir, const std::string& port)
        : trace_(dir / "trace.txt") {
        MakeGaugeFolder(bundle, dir, port);
        std::filesystem::remove(trace_);
        pid_ = StartGauge(bundle / "ORVEXVario", dir, trace_);
        for (int i = 0; i < 200 && pid_ != 0 && ReadTrace(trace_).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (ReadTrace(trace_).empty()) std::fprintf(stderr, "the gauge did not start (is there a display?)\n");
    }
    ~TracedGauge() { Stop(); }
    bool Ok() const { return pid_ != 0 && !ReadTrace(trace_).empty(); }
    pid_t Pid() const { return pid_; }
    // Ends the gauge and returns its trace.
    std::vector<TraceLine> Stop() {
        if (pid_ != 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
        return ReadTrace(trace_);
    }

private:
    std::filesystem::path trace_;
    pid_t pid_ = 0;
};

double FramesPerSecond(const std::vector<TraceLine>& lines, double start_ms, double end_ms) {
    int count = 0;
    for (const TraceLine& line : lines) count += line.time_ms >= start_ms && line.time_ms < end_ms;
    return count / ((end_ms - start_ms) / 1000.0);
}

void SleepUntilMs(double at_ms) {
    const double wait_ms = at_ms - NowMs();
    if (wait_ms > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(wait_ms));
}

// Changes at random moments of the feed's period, as a simulator's would: the time from
// each to the first frame showing it. False when no change reached the screen.
bool MeasureLatency(const std::filesystem::path& bundle, const std::filesystem::path& dir, int changes) {
    XPlaneStandIn standin(platform::kLoopbackAddressNet, 0);
    if (!standin.Ok()) {
        std::fprintf(stderr, "cannot open the stand-in's UDP port\n");
        return false;
    }
    std::atomic<bool> stop_standin{false};
    std::thread standin_thread([&] {
        while (!stop_standin) standin.Serve(std::chrono::milliseconds(5));
    });
    std::vector<double> changed_at_ms;
    std::vector<TraceLine> lines;
    {
        SpawnedDataServer server(
            (bundle / "vario-dataserver").string(),
            {"--bind", "127.0.0.1", "--source", "xplane:127.0.0.1:" + std::to_string(standin.Port())});
        TracedGauge gauge(bundle, dir, server.Port());
        if (gauge.Ok()) {
            std::mt19937 random(12345);
            const double feed_period_ms = 1000.0 / XPlaneFeed::kFrequencyHz;
            std::uniform_real_distribution<double> pause_ms(3 * feed_period_ms, 5 * feed_period_ms);
            for (int k = 1; k <= changes; ++k) {
                std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(pause_ms(random)));
                changed_at_ms.push_back(NowMs());
                standin.SetVerticalSpeed(static_cast<float>(-RawOfChange(k) * kFeetPerMetre));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            changed_at_ms.push_back(NowMs());  // the end of the last change's time
        }
        lines = gauge.Stop();
    }
    stop_standin = true;
    standin_thread.join();

    std::vector<double> latency_ms;
    int missed = 0;
    size_t from = 0;
    for (size_t k = 1; k < changed_at_ms.size(); ++k) {
        const double at = changed_at_ms[k - 1], until = changed_at_ms[k];
        const std::string wanted = std::to_string(RawOfChange(static_cast<int>(k)));
        while (from < lines.size() && lines[from].time_ms < at) ++from;
        size_t i = from;
        while (i < lines.size() && lines[i].time_ms < until && lines[i].value != wanted) ++i;
        if (i < lines.size() && lines[i].time_ms < until) latency_ms.push_back(lines[i].time_ms - at);
        else ++missed;
    }
    if (latency_ms.empty()) {
        std::fprintf(stderr, "no change reached the screen\n");
        return false;
    }
    const double feed_period_ms = 1000.0 / XPlaneFeed::kFrequencyHz, frame_period_ms = 1000.0 / kMaxFps;
    const double anchor_ms = feed_period_ms / 2 + frame_period_ms;
    const double median = Percentile(latency_ms, 0.5), p99 = Percentile(latency_ms, 0.99);
    std::printf("X-Plane stand-in -> vario-dataserver --source xplane -> ORVEXVario, MAXFPS=%d\n", kMaxFps);
    std::printf("  %zu changes (%d not on the screen before the next)\n", latency_ms.size(), missed);
    std::printf("  from the change to the first frame showing it: median %7.2f ms   p99 %7.2f ms\n", median, p99);
    std::printf(
        "  half the feed period (%d Hz) + one frame period:  %7.2f ms; median beyond it %+.2f ms "
        "(goal: at most +2 ms)\n",
        XPlaneFeed::kFrequencyHz, anchor_ms, median - anchor_ms);
    return true;
}

// CPU time per second of one gauge: a constant value from the data server's script, then
// a value that changes every 5 ms, faster than the frames.
bool MeasureCpu(const std::filesystem::path& bundle, const std::filesystem::path& dir) {
    constexpr double kChangeFrom_s = 7, kChangeUntil_s = 14, kStep_s = 0.005;
    std::string script = "0:100";
    int step = 0;
    for (double t = kChangeFrom_s; t < kChangeUntil_s; t += kStep_s)
        script += "," + std::to_string(t) + ":" + std::to_string(RawOfChange(++step));
    SpawnedDataServer server((bundle / "vario-dataserver").string(), {"--bind", "127.0.0.1", "--script", script});
    const double script_start_ms = NowMs();
    TracedGauge gauge(bundle, dir, server.Port());
    if (!gauge.Ok()) return false;
    auto cpu_between = [&](double from_s, double until_s) {
        SleepUntilMs(script_start_ms + from_s * 1000);
        const double start = CpuSeconds(gauge.Pid());
        SleepUntilMs(script_start_ms + until_s * 1000);
        return (CpuSeconds(gauge.Pid()) - start) / (until_s - from_s);
    };
    const double constant_cpu = cpu_between(2, 6);
    const double changing_cpu = cpu_between(kChangeFrom_s + 1, kChangeUntil_s - 1);
    const std::vector<TraceLine> lines = gauge.Stop();
    std::printf("ORVEXVario at MAXFPS=%d against vario-dataserver --script, CPU time per second:\n", kMaxFps);
    std::printf("  constant value:                %.4f s   (%.1f frames/s on the screen)\n", constant_cpu,
                FramesPerSecond(lines, script_start_ms + 2000, script_start_ms + 6000));
    std::printf("  value changing every frame:    %.4f s   (%.1f frames/s on the screen)\n", changing_cpu,
                FramesPerSecond(lines, script_start_ms + (kChangeFrom_s + 1) * 1000,
                                script_start_ms + (kChangeUntil_s - 1) * 1000));
    std::printf("  constant / changing: %.3f (goal: at most 0.2)\n",
                changing_cpu > 0 ? constant_cpu / changing_cpu : std::nan(""));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: panel_latency_bench BUNDLE_DIR [CHANGES]\n");
        return 2;
    }
    const std::filesystem::path bundle = std::filesystem::absolute(argv[1]);
    const int changes = std::max(20, argc > 2 ? std::atoi(argv[2]) : 200);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vario-panel-bench-" + std::to_string(getpid()));
    bool ok = MeasureLatency(bundle, dir, changes) && MeasureCpu(bundle, dir);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return ok ? 0 : 1;
}
