// The FlightGear and X-Plane feeds: their threads, connections and subscriptions. Every
// wait is bounded, so that a silent, slow or flooding simulator only makes the feed stale.
#include "tools/common/simulator_feeds.h"

#include <cstring>

#include "platform/system.h"
#include "tools/common/feed_protocols.h"

namespace {

constexpr auto kStep = std::chrono::milliseconds(50);  // longest wait between looks at the stop flag
constexpr auto kReconnectInterval = std::chrono::seconds(1);
// A property server that has given no number for this long is given up and connected
// anew. Longer than the staleness, so that a simulator slowed down by a heavy scene is
// told stale but not made to take a new connection on top.
constexpr auto kStalledConnection = std::chrono::seconds(5);

int64_t Microseconds(FeedClock::duration duration) {
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
    return us < 0 ? 0 : us;
}

// A wait for one socket, at most `wait`: true when it is ready as asked.
bool WaitReady(platform::SocketHandle handle, bool for_writing, FeedClock::duration wait) {
    platform::SocketWait entry;
    entry.handle = handle;
    entry.want_read = !for_writing;
    entry.want_write = for_writing;
    return platform::WaitSocketsReady(&entry, 1, Microseconds(wait)) > 0;
}

bool SendText(platform::SocketHandle handle, const char* text) {
    int32_t size = static_cast<int32_t>(std::strlen(text));
    return platform::SendBytes(handle, reinterpret_cast<const uint8_t*>(text), size) == size;
}

void CloseConnection(platform::SocketHandle handle) {
    platform::ShutdownSocket(handle);
    platform::CloseSocket(handle);
}

}  // namespace

SimulatorFeed::SimulatorFeed(std::string name, std::string host, uint16_t port, FeedStatusSink status)
    : host_(std::move(host)),
      port_(port),
      state_(name + " " + host_ + ":" + std::to_string(port), FeedClock::now()),
      status_(std::move(status)) {}

void SimulatorFeed::StartThread() {
    // The tool may have no sockets of its own (vario-simhost); WinSock needs its start-up.
    platform::StartSocketModule();
    thread_ = std::thread([this] {
        platform::BlockStopSignalsInThisThread();
        Run();
    });
}

FeedReading SimulatorFeed::Read(double) {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.Read(FeedClock::now());
}

void SimulatorFeed::Stop() {
    stop_ = true;
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void SimulatorFeed::Deliver(double metres_per_minute) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.Note(metres_per_minute, FeedClock::now());
    }
    TellStatus();
}

void SimulatorFeed::TellStatus() {
    std::string line;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        line = state_.StatusChange(FeedClock::now());
    }
    if (!line.empty() && status_) status_(line);
}

bool SimulatorFeed::PauseUntil(FeedClock::time_point until) {
    while (!Stopping()) {
        TellStatus();
        auto now = FeedClock::now();
        if (now >= until) return true;
        platform::SleepMilliseconds(static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::min<FeedClock::duration>(until - now, kStep))
                .count() +
            1));
    }
    return false;
}

bool SimulatorFeed::ResolveAddress(platform::SocketAddress& address) {
    uint32_t address_net = platform::ParseIpv4Text(host_);
    if (address_net == platform::kNoIpv4Address && !platform::LookUpHost(host_, address_net)) return false;
    address = platform::SocketAddress{};
    address.address_net = address_net;
    address.port_net = platform::HostToNet16(port_);
    return true;
}

FlightGearFeed::FlightGearFeed(std::string host, uint16_t port, FeedStatusSink status)
    : SimulatorFeed("flightgear", std::move(host), port, std::move(status)) {
    StartThread();
}

void FlightGearFeed::Run() {
    while (!Stopping()) {
        auto attempt = FeedClock::now();
        platform::SocketAddress address;
        platform::SocketHandle connection = platform::kNoSocket;
        if (ResolveAddress(address)) connection = platform::OpenTcpSocket();
        if (connection != platform::kNoSocket) {
            int started =
                platform::SetSocketNonBlocking(connection) == 0 ? platform::StartConnect(connection, address) : -1;
            // A simulator that does not answer the connection holds the feed for a second at most.
            bool connected = started == 0 || (started == 1 && WaitReady(connection, true, kReconnectInterval) &&
                                              platform::ConnectOutcome(connection) == 0);
            if (connected) Converse(connection);
            CloseConnection(connection);
        }
        if (!PauseUntil(attempt + kReconnectInterval)) break;
    }
}

// One connection's life: ends when the server closes or fails it, or when it has given no
// value for kStalledConnection (a server that stalls, or sends only what is no number).
void FlightGearFeed::Converse(platform::SocketHandle connection) {
    if (!SendText(connection, kFlightGearDataMode)) return;
    PropertyLineReader reader;
    auto now = FeedClock::now();
    auto last_value_at = now;
    auto next_poll = now;
    bool awaiting_answer = false;
    while (!Stopping()) {
        now = FeedClock::now();
        if (now - last_value_at >= kStalledConnection) return;
        // One question at a time: the server answers about one per simulator frame, and
        // questions sent faster would queue there and age every answer.
        if (!awaiting_answer && now >= next_poll) {
            if (!SendText(connection, kFlightGearVerticalSpeedQuery)) return;
            awaiting_answer = true;
            next_poll = now + kPollInterval;
        }
        auto wait = awaiting_answer ? FeedClock::duration(kStep) : std::max<FeedClock::duration>(next_poll - now, {});
        if (WaitReady(connection, false, wait)) {
            char chunk[4096];
            int got = platform::ReceiveBytes(connection, reinterpret_cast<uint8_t*>(chunk), sizeof chunk);
            if (got <= 0) return;
            reader.Append(chunk, static_cast<size_t>(got), [&](std::optional<double> feet_per_second) {
                awaiting_answer = false;
                if (!feet_per_second) return;
                last_value_at = FeedClock::now();
                Deliver(MetresPerMinuteOfClimb(*feet_per_second * 60));
            });
        }
        TellStatus();
    }
}

XPlaneFeed::XPlaneFeed(std::string host, uint16_t port, FeedStatusSink status)
    : SimulatorFeed("xplane", std::move(host), port, std::move(status)) {
    StartThread();
}

void XPlaneFeed::Run() {
    platform::SocketHandle udp = platform::kNoSocket;
    while (!Stopping()) {
        udp = platform::OpenUdpSocket(0, 0);
        if (udp != platform::kNoSocket && platform::SetSocketNonBlocking(udp) == 0) break;
        if (udp != platform::kNoSocket) platform::CloseSocket(udp);
        udp = platform::kNoSocket;
        if (!PauseUntil(FeedClock::now() + kReconnectInterval)) return;
    }
    if (udp == platform::kNoSocket) return;

    platform::SocketAddress simulator;
    bool subscribed = false;  // a request went out, so a cancel is owed at the end
    auto last_request_at = FeedClock::time_point{};
    auto last_value_at = FeedClock::time_point{};
    bool ever_requested = false;
    while (!Stopping()) {
        auto now = FeedClock::now();
        bool silent = now - last_value_at >= kResubscribeInterval;
        if (silent && (!ever_requested || now - last_request_at >= kResubscribeInterval)) {
            ever_requested = true;
            last_request_at = now;
            // Looked up again each time: the simulator's machine may come up later.
            if (ResolveAddress(simulator)) {
                auto request = RrefRequest({kFrequencyHz, kIndex, kXPlaneVerticalSpeedDataref});
                if (platform::SendDatagram(udp, simulator, request.data(), static_cast<int32_t>(request.size())) > 0)
                    subscribed = true;
            }
        }
        if (WaitReady(udp, false, kStep)) {
            // A bounded number per pass, so that a flood still lets the loop look around.
            for (int datagrams = 0; datagrams < 64; ++datagrams) {
                uint8_t datagram[kMaxRrefAnswerBytes + 1];
                platform::SocketAddress from;
                int got = platform::ReceiveDatagram(udp, datagram, sizeof datagram, from);
                if (got < 0) break;
                // Only the simulator asked for speaks for it; an answer too long was cut.
                if (!subscribed || from.address_net != simulator.address_net ||
                    got > static_cast<int>(kMaxRrefAnswerBytes))
                    continue;
                if (auto climb_fpm = RrefValueOf(datagram, static_cast<size_t>(got), kIndex)) {
                    last_value_at = FeedClock::now();
                    Deliver(MetresPerMinuteOfClimb(*climb_fpm));
                }
            }
        }
        TellStatus();
    }
    if (subscribed) {
        auto cancel = RrefRequest({0, kIndex, kXPlaneVerticalSpeedDataref});
        platform::SendDatagram(udp, simulator, cancel.data(), static_cast<int32_t>(cancel.size()));
    }
    platform::CloseSocket(udp);
}
