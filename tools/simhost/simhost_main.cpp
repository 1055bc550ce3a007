// vario-simhost: the development simulator, and a bridge from real simulators. Offers the
// add-on's window and answers the simulator link as the SIMLINK add-on would, feeding
// offset 0x0842 from the chosen value feed. Used by the gauge's demo and by the tests.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "common/text.h"
#include "platform/simlink_addon.h"
#include "platform/simlink_ipc.h"
#include "platform/system.h"
#include "simlink/request_area.h"
#include "tools/common/tool_options.h"
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
    "  --delay-ms N          wait N milliseconds (0 to 600000) before each answer\n"
    "  --exchanges N         quit after answering N exchanges\n"
    "  --trace               print one line per exchange with its records and wall time\n"
    "  --help                this text\n"
    "Numbers are whole, decimal or 0x-prefixed hexadecimal. A bad option ends the tool\n"
    "with status 2. Ctrl-C, SIGTERM and SIGHUP end it, cancelling a simulator\n"
    "subscription.\n"
    "On Linux the window is a socket named after the class in $SIMLINK_RUNTIME_DIR, else\n"
    "$XDG_RUNTIME_DIR, else /tmp/simlink-<uid>.\n";

struct Options {
    const char* window_class = simlink::kAddOnWindowClass;
    FeedChoice feed;
    uint32_t add_on_version = 0x19980005;
    uint32_t sim_version = 0xFADE000B;
    intptr_t reply = 1;
    uint32_t delay_ms = 0;
    int64_t exchanges = 0;  // 0: no limit
    bool trace = false;
};

// Takes the reader's option into the options: false when it is none of the simulator's.
bool TakeOption(OptionReader& reader, Options& options) {
    const std::string& option = reader.Name();
    if (TakeFeedOption(reader, options.feed)) return true;
    if (option == "--fallback-class") {
        options.window_class = simlink::kFallbackWindowClass;
    } else if (option == "--addon-version") {
        options.add_on_version = static_cast<uint32_t>(reader.WholeNumber(0, UINT32_MAX));
    } else if (option == "--sim-version") {
        options.sim_version = static_cast<uint32_t>(reader.WholeNumber(0, UINT32_MAX));
    } else if (option == "--zero-versions") {
        options.add_on_version = 0;
        options.sim_version = 0;
    } else if (option == "--reply") {
        options.reply = static_cast<intptr_t>(reader.WholeNumber(INT32_MIN, INT32_MAX));
    } else if (option == "--delay-ms") {
        options.delay_ms = static_cast<uint32_t>(reader.WholeNumber(0, 600000));
    } else if (option == "--exchanges") {
        options.exchanges = reader.WholeNumber(1, INT32_MAX);
    } else if (option == "--trace") {
        options.trace = true;
    } else {
        return false;
    }
    return true;
}

// Waits before an answer; an end signal cuts the wait short.
void DelayUnlessStopped(uint32_t delay_ms) {
    for (uint32_t left_ms = delay_ms; left_ms > 0 && !platform::StopSignalNoted();) {
        uint32_t step_ms = std::min<uint32_t>(left_ms, 50);
        platform::SystemSimLinkIpc().SleepMilliseconds(step_ms);
        left_ms -= step_ms;
    }
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
            // The wall time of the answer, to line the exchanges up with other logs.
            double wall_s = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
            std::printf("exchange %lld:%s at %.6f\n", static_cast<long long>(exchanges_), trace.c_str(), wall_s);
            std::fflush(stdout);
        }
        DelayUnlessStopped(options_.delay_ms);
        return area && !failing ? options_.reply : 0;
    }

    bool ShouldStop() override { return options_.exchanges > 0 && exchanges_ >= options_.exchanges; }

private:
    const Options& options_;
    ValueFeed& feed_;
    SimulatorOffsets offsets_;
    std::chrono::steady_clock::time_point start_;
    int64_t exchanges_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (int status = ReadToolOptions(
            "vario-simhost", argc, argv, [] { std::printf(kUsage, kFeedOptionsHelp); },
            [&](OptionReader& reader) { return TakeOption(reader, options); }, [&] { CheckFeedChoice(options.feed); });
        status != 0)
        return status;
    platform::CatchStopSignals();
    std::unique_ptr<ValueFeed> feed = OpenFeed(options.feed);
    SimHost host(options, *feed);
    std::string error;
    bool served = platform::ServeSimLinkAddOn(options.window_class, simlink::kIpcMessageName, host, error);
    feed->Stop();  // cancels a simulator subscription
    if (!served) {
        std::fprintf(stderr, "vario-simhost: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
