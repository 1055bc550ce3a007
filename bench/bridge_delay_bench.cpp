// The delay that vario-dataserver adds as a bridge: from a value leaving the X-Plane
// stand-in to a gauge's query (QueryRemoteValue through TLxTcpBlockClient) receiving it,
// beside the feed's own period, in the same run.
// Usage: bridge_delay_bench [PATH-TO-vario-dataserver] [CHANGES]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/spawned_data_server.h"
#include "net/lx_tcp_block_client.h"
#include "net/remote_value.h"
#include "platform/sockets.h"
#include "tests/xplane_standin/xplane_standin.h"
#include "tools/common/feed_protocols.h"
#include "tools/common/simulator_feeds.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

}  // namespace

int main(int argc, char** argv) {
    std::string server_path = argc > 1 && argv[1][0] != '\0' ? argv[1] : VARIO_DATASERVER_PATH;
    int changes = argc > 2 ? std::atoi(argv[2]) : 300;
    if (changes < 20) changes = 20;

    // The stand-in serves on its own thread; the time each value first leaves it is kept.
    XPlaneStandIn standin(platform::kLoopbackAddressNet, 0);
    if (!standin.Ok()) {
        std::fprintf(stderr, "cannot open the stand-in's UDP port\n");
        return 1;
    }
    std::mutex mutex;
    std::map<int, Clock::time_point> first_sent;  // raw value -> first answer carrying it
    standin.on_answer = [&](Clock::time_point sent_at, float climb_fpm) {
        int raw = static_cast<int>(std::lround(MetresPerMinuteOfDescent(climb_fpm)));
        std::lock_guard<std::mutex> lock(mutex);
        first_sent.emplace(raw, sent_at);
    };
    std::atomic<bool> stop_standin{false};
    std::thread standin_thread([&] {
        while (!stop_standin) standin.Serve(std::chrono::milliseconds(20));
    });
    auto finish = [&](int status) {
        stop_standin = true;
        standin_thread.join();
        return status;
    };

    SpawnedDataServer server(server_path,
                             {"--bind", "127.0.0.1", "--source", "xplane:127.0.0.1:" + std::to_string(standin.Port())});
    const std::string& port = server.Port();
    // The server listens once the feed is live.
    NetClient = std::make_unique<TLxTcpBlockClient>();
    NetClient->SetPort(port);
    NetClient->SetAddress("127.0.0.1");
    bool connected = false;
    for (int i = 0; i < 100 && !port.empty() && !(connected = NetClient->Connect()); ++i)
        platform::SleepMilliseconds(50);
    if (!connected) {
        std::fprintf(stderr, "cannot connect to the data server\n");
        return finish(1);
    }

    // Each change comes at a random moment of the feed's period, as a simulator's would;
    // the query asks back to back until it sees it.
    std::mt19937 random(12345);
    const double period_ms = 1000.0 / XPlaneFeed::kFrequencyHz;
    std::uniform_real_distribution<double> pause_ms(2 * period_ms, 4 * period_ms);
    std::vector<double> from_change_ms, from_datagram_ms;
    int missed = 0;
    for (int k = 1; k <= changes; ++k) {
        platform::SleepMilliseconds(static_cast<uint32_t>(pause_ms(random)));
        auto changed_at = Clock::now();
        standin.SetVerticalSpeed(static_cast<float>(-k * kFeetPerMetre));
        bool seen = false;
        while (Clock::now() - changed_at < std::chrono::seconds(1)) {
            if (static_cast<int>(QueryRemoteValue(2114, "2", "4").value_or(0)) == k) {
                seen = true;
                break;
            }
        }
        auto received_at = Clock::now();
        if (!seen) {
            ++missed;
            continue;
        }
        from_change_ms.push_back(Milliseconds(received_at - changed_at));
        std::lock_guard<std::mutex> lock(mutex);
        if (auto sent = first_sent.find(k); sent != first_sent.end())
            from_datagram_ms.push_back(Milliseconds(received_at - sent->second));
    }
    NetClient.reset();
    server.Stop();
    finish(0);
    if (from_change_ms.empty() || from_datagram_ms.empty()) {
        std::fprintf(stderr, "no value came through\n");
        return 1;
    }

    double change_median = Percentile(from_change_ms, 0.5), change_p99 = Percentile(from_change_ms, 0.99);
    double datagram_median = Percentile(from_datagram_ms, 0.5), datagram_p99 = Percentile(from_datagram_ms, 0.99);
    std::printf("X-Plane stand-in -> vario-dataserver --source xplane -> QueryRemoteValue, 127.0.0.1\n");
    std::printf("  %zu changes (%d not seen within 1 s); feed period %.2f ms (%d Hz), half of it %.2f ms\n",
                from_change_ms.size(), missed, period_ms, XPlaneFeed::kFrequencyHz, period_ms / 2);
    std::printf("  from the value's change in the stand-in:    median %7.3f ms   p99 %7.3f ms\n", change_median,
                change_p99);
    std::printf("  from its first datagram (bridge's own delay): median %7.3f ms   p99 %7.3f ms\n", datagram_median,
                datagram_p99);
    std::printf("  median added beyond half the period: %.3f ms (goal: under 1 ms)\n", change_median - period_ms / 2);
    return 0;
}
