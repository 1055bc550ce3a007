// Round trip of QueryRemoteValue against vario-dataserver, beside a bare blocking TCP
// ping-pong of the same request and reply bytes to the same server, in the same run.
// Usage: net_query_bench [PATH-TO-vario-dataserver] [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/spawned_data_server.h"
#include "net/lx_tcp_block_client.h"
#include "net/remote_value.h"
#include "platform/sockets.h"

namespace {

using Clock = std::chrono::steady_clock;

// One bare exchange: the nine request bytes out, bytes in up to the reply's NUL.
bool BareRoundTrip(platform::SocketHandle handle) {
    static const char kRequest[] = "2114,2,4";
    if (platform::SendBytes(handle, reinterpret_cast<const uint8_t*>(kRequest), sizeof kRequest) != sizeof kRequest)
        return false;
    uint8_t reply[64];
    for (;;) {
        int got = platform::ReceiveBytes(handle, reply, sizeof reply);
        if (got <= 0) return false;
        if (reply[got - 1] == 0) return true;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string server_path = argc > 1 && argv[1][0] != '\0' ? argv[1] : VARIO_DATASERVER_PATH;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5000;
    if (rounds < 100) rounds = 100;

    // One server for both kinds of exchange, so that both meet the same process; it takes
    // one client at a time, so each block of exchanges makes its own connection.
    SpawnedDataServer server(server_path, {"--value", "-157"});
    const std::string& port = server.Port();
    if (port.empty()) return 1;

    platform::SocketAddress address;
    address.port_net = platform::HostToNet16(static_cast<uint16_t>(std::atoi(port.c_str())));
    address.address_net = platform::kLoopbackAddressNet;

    // Alternating blocks, so that both see the same machine load.
    std::vector<double> query_us, bare_us;
    const int block = 50;
    for (int done = 0; done < rounds; done += block) {
        NetClient = std::make_unique<TLxTcpBlockClient>();
        NetClient->SetPort(port);
        NetClient->SetAddress("127.0.0.1");
        if (!NetClient->Connect()) {
            std::fprintf(stderr, "cannot connect to the data server\n");
            return 1;
        }
        for (int i = 0; i < block; ++i) {
            auto start = Clock::now();
            std::optional<double> value = QueryRemoteValue(2114, "2", "4");
            query_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            if (value != -157) {
                std::fprintf(stderr, "unexpected value %g\n", value.value_or(NAN));
                return 1;
            }
        }
        NetClient.reset();

        platform::SocketHandle bare = platform::OpenTcpSocket();
        if (bare == platform::kNoSocket || platform::ConnectSocket(bare, address, TLxIpSocket::kConnectLimit_ms) != 0) {
            std::fprintf(stderr, "cannot connect to the data server\n");
            return 1;
        }
        for (int i = 0; i < block; ++i) {
            auto start = Clock::now();
            if (!BareRoundTrip(bare)) {
                std::fprintf(stderr, "bare exchange failed\n");
                return 1;
            }
            bare_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        platform::ShutdownSocket(bare);
        platform::CloseSocket(bare);
    }
    server.Stop();

    double query_median = Percentile(query_us, 0.5), query_p99 = Percentile(query_us, 0.99);
    double bare_median = Percentile(bare_us, 0.5), bare_p99 = Percentile(bare_us, 0.99);
    std::printf("round trip over 127.0.0.1, %zu exchanges each (microseconds)\n", query_us.size());
    std::printf("  QueryRemoteValue    median %8.1f   p99 %8.1f\n", query_median, query_p99);
    std::printf("  bare TCP ping-pong  median %8.1f   p99 %8.1f\n", bare_median, bare_p99);
    std::printf("  ratio               median %8.2f   p99 %8.2f   (goal: at most 1.30)\n", query_median / bare_median,
                query_p99 / bare_p99);
    return 0;
}
