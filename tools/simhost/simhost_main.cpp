// vario-simhost: the development simulator, and a bridge from real simulators. Offers the
// add-on's window and answers the simulator link as the SIMLINK add-on would, feeding
// offset 0x0842 from the chosen value feed. Used by the gauge's demo and by the tests.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/simlink_addon.h"
#include "platform/simlink_ipc.h"
#include "simlink/request_area.h"
#include "tools/common/value_feed.h"
#include "tools/simhost/simulator_offsets.h"

namespace {

const char kUsage[] =
    "Usage: vario-simhost [options]\n"
    "The development simulator: answers the gauge's simulator link as the SIMLINK add-on\n"
    "does, with a window of class \"SIMLINKMAIN\" and the message \"SimLinkLib:IPC\", and\n"
    "feeds the vertical speed (offset 0x0842, metres per minute, descent positive).\n"
    "\n"
    "Source of the vertical speed (default: the built-in flight profile, repeating; a\n"
    "script's time runs from the first exchange):\n"
    "%s"
    "While a simulator source is stale, exchanges that read the vertical speed are\n"
    "answered with a failing reply (0), so that the gauge shows it has no value.\n"
    "\n"
    "Options for tests:\n"
    "  --fallback-class      offer the window under \"SIMHOSTMAIN\" instead\n"
    "  --addon-version N     value at 0x3304 (default 0x19980005)\n"
    "  --sim-version N       value at 0x3308 (default 0xFADE000B: mark 0xFADE, version 11)\n"
    "  --zero-versions       both version values 0\n"
    "  --reply N             answer N instead of 1\n"
    "  --delay-ms N          wait N milliseconds before each answer\n"
    "  --exchanges N         quit after answering N exchanges\n"
    "  --trace               print one line per exchange with its records\n"
    "  --help                this text\n"
    "Numbers may be decimal or 0x-prefixed hexadecimal.\n"
    "On Linux the window is a socket named after the class in $SIMLINK_RUNTIME_DIR, else\n"
    "$XDG_RUNTIME_DIR, else /tmp/simlink-<uid>.\n";

struct Options {
    const char* window_class = simlink::kAddOnWindowClass;
    FeedChoice feed;
    uint32_t add_on_version = 0x19980005;
    uint32_t sim_version = 0xFADE000B;
    intptr_t reply = 1;
    uint32_t delay_ms = 0;
    long exchanges = 0;  // 0: no limit
    bool trace = false;
};

bool ParseNumber(const char* text, long long low, long long high, long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 0);
    return *text && end && *end == '\0' && errno == 0 && value >= low && value <= high;
}

class SimHost final : public platform::SimLinkAddOnHandler {
public:
    SimHost(const Options& options, ValueFeed& feed)
        : options_(options), feed_(feed), offsets_(options.add_on_version, options.sim_version) {}

    void OnReady(const std::string& where) override {
        std::printf("vario-simhost: ready, window class %s (%s)\n", options_.window_class, where.c_str());
        std::fflush(stdout);
    }

    intptr_t OnIpcMessage(uint8_t* area, size_t area_bytes) override {
        // Time runs from the first exchange, so that a script starts when a client comes.
        if (exchanges_++ == 0) start_ = std::chrono::steady_clock::now();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        FeedReading reading = feed_.Read(seconds);
        offsets_.SetVerticalSpeed(reading.live ? VerticalSpeedWord(reading.metres_per_minute) : 0);
        std::string trace;
        bool failing = false;
        if (area == nullptr) {
            trace = " no request area";
        } else {
            SimulatorOffsets::Outcome outcome = offsets_.CarryOut(area, area_bytes, options_.trace ? &trace : nullptr);
            if (!outcome.well_formed) trace += " (malformed record list)";
            // No data: the gauge is told by a failed exchange, never by an old value. The
            // handshake (no read of the vertical speed) still passes, so the link opens.
            if (outcome.reads_vertical_speed && !reading.live) {
                failing = true;
                trace += " (no data: failing reply)";
            }
        }
        if (options_.trace) {
            std::printf("exchange %ld:%s\n", exchanges_, trace.c_str());
            std::fflush(stdout);
        }
        if (options_.delay_ms) platform::SystemSimLinkIpc().SleepMilliseconds(options_.delay_ms);
        return area && !failing ? options_.reply : 0;
    }

    bool ShouldStop() override { return options_.exchanges > 0 && exchanges_ >= options_.exchanges; }

private:
    const Options& options_;
    ValueFeed& feed_;
    SimulatorOffsets offsets_;
    std::chrono::steady_clock::time_point start_;
    long exchanges_ = 0;
};

ValueFeed* running_feed = nullptr;

// Where the add-on's own loop does not end on these signals (Windows), the feed's
// subscription is cancelled here before the process ends; on Linux the add-on's loop
// takes the signals over and main() stops the feed.
extern "C" void StopFeedAndExit(int) {
    if (running_feed != nullptr) running_feed->Stop();
    std::_Exit(0);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "vario-simhost: %s\n%s", message.c_str(), "Try 'vario-simhost --help'.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&](long long low, long long high, long long& value) {
            if (i + 1 >= argc) return false;
            return ParseNumber(argv[++i], low, high, value);
        };
        long long number = 0;
        std::string feed_error;
        if (TakeFeedOption(argc, argv, i, options.feed, feed_error)) {
            if (!feed_error.empty()) return Fail(feed_error);
        } else if (arg == "--help" || arg == "-h") {
            std::printf(kUsage, kFeedOptionsHelp);
            return 0;
        } else if (arg == "--fallback-class") {
            options.window_class = simlink::kFallbackWindowClass;
        } else if (arg == "--addon-version") {
            if (!next(0, 0xFFFFFFFF, number)) return Fail("--addon-version needs a 32-bit number");
            options.add_on_version = static_cast<uint32_t>(number);
        } else if (arg == "--sim-version") {
            if (!next(0, 0xFFFFFFFF, number)) return Fail("--sim-version needs a 32-bit number");
            options.sim_version = static_cast<uint32_t>(number);
        } else if (arg == "--zero-versions") {
            options.add_on_version = 0;
            options.sim_version = 0;
        } else if (arg == "--reply") {
            if (!next(INT32_MIN, INT32_MAX, number)) return Fail("--reply needs a number");
            options.reply = static_cast<intptr_t>(number);
        } else if (arg == "--delay-ms") {
            if (!next(0, 600000, number)) return Fail("--delay-ms needs 0 to 600000");
            options.delay_ms = static_cast<uint32_t>(number);
        } else if (arg == "--exchanges") {
            if (!next(1, INT32_MAX, number)) return Fail("--exchanges needs a positive number");
            options.exchanges = static_cast<long>(number);
        } else if (arg == "--trace") {
            options.trace = true;
        } else {
            return Fail("unknown or incomplete option '" + arg + "'");
        }
    }
    std::unique_ptr<ValueFeed> feed = OpenFeed(options.feed);
    running_feed = feed.get();
    std::signal(SIGINT, StopFeedAndExit);
    std::signal(SIGTERM, StopFeedAndExit);
    SimHost host(options, *feed);
    std::string error;
    bool served = platform::ServeSimLinkAddOn(options.window_class, simlink::kIpcMessageName, host, error);
    feed->Stop();  // cancels a simulator subscription
    running_feed = nullptr;
    if (!served) {
        std::fprintf(stderr, "vario-simhost: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
