// The FlightGear and X-Plane feeds: their threads, connections and subscriptions. Every
// wait is bounded, so that a silent, slow or flooding simulator only makes the feed stale.
#include "tools/common/simulator_feeds.h"

#include <array>
#include <utility>
#include <vector>

#include "platform/system.h"
#include "tools/common/feed_protocols.h"
#include "tools/common/total_energy.h"

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

bool SendText(platform::SocketHandle handle, const std::string& text) {
    int32_t size = static_cast<int32_t>(text.size());
    return platform::SendBytes(handle, reinterpret_cast<const uint8_t*>(text.data()), size) == size;
}

void CloseConnection(platform::SocketHandle handle) {
    platform::ShutdownSocket(handle);
    platform::CloseSocket(handle);
}

constexpr char kHostNotFound[] = "host not found";

// The properties of one round of FlightGear's total energy, in the order asked.
constexpr std::array<const char*, 3> kFlightGearEnergyProperties = {
    kFlightGearAltitudeProperty, kFlightGearTrueAirspeedProperty, kFlightGearClockProperty};
// X-Plane's datarefs of the total energy, subscribed as kIndex + 1 onwards.
constexpr std::array<const char*, 3> kXPlaneEnergyDatarefs = {kXPlaneElevationDataref, kXPlaneTrueAirspeedDataref,
                                                              kXPlaneClockDataref};

}  // namespace

HostResolver PlatformHostResolver() { return platform::LookUpHost; }

// A look-up on its thread; the feed waits for `done`. Shared, so that a look-up the feed
// abandons at its stop still has somewhere to put its result.
struct SimulatorFeed::PendingLookup {
    std::atomic<bool> done{false};
    bool found = false;
    uint32_t address_net = 0;
};

SimulatorFeed::SimulatorFeed(std::string name, std::string host, uint16_t port, FeedStatusSink status,
                             HostResolver resolver)
    : host_(std::move(host)),
      port_(port),
      state_(name + " " + host_ + ":" + std::to_string(port), FeedClock::now()),
      status_(std::move(status)),
      resolver_(std::move(resolver)) {}

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

bool SimulatorFeed::DeliverMetresPerSecond(double climb_mps) { return Deliver(climb_mps * 60 * kFeetPerMetre); }

bool SimulatorFeed::Deliver(double climb_fpm) {
    if (!IsVerticalSpeedValue(climb_fpm)) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.Note(MetresPerMinuteOfDescent(climb_fpm), FeedClock::now());
    }
    TellStatus();
    return true;
}

void SimulatorFeed::SetProblem(std::string problem) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.SetProblem(std::move(problem));
}

bool SimulatorFeed::HasProblem() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !state_.Problem().empty();
}

void SimulatorFeed::SetLiveNote(std::string note) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.SetLiveNote(std::move(note));
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

SimulatorFeed::Lookup SimulatorFeed::ResolveAddress(platform::SocketAddress& address) {
    uint32_t address_net = platform::ParseIpv4Text(host_);
    if (address_net == platform::kNoIpv4Address) {
        // A look-up abandoned at a stop is never waited for; one still running from
        // before is waited for rather than started again beside it.
        if (!lookup_) {
            lookup_ = std::make_shared<PendingLookup>();
            std::thread([lookup = lookup_, resolver = resolver_, host = host_] {
                platform::BlockStopSignalsInThisThread();
                lookup->found = resolver(host, lookup->address_net);
                lookup->done = true;
            }).detach();
        }
        while (!lookup_->done)
            if (!PauseUntil(FeedClock::now() + kStep)) return Lookup::Stopping;
        bool found = lookup_->found;
        address_net = lookup_->address_net;
        lookup_.reset();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!found) state_.SetProblem(kHostNotFound);
            else if (state_.Problem() == kHostNotFound) state_.SetProblem("");
        }
        if (!found) return Lookup::NotFound;
    }
    address = platform::SocketAddress{};
    address.address_net = address_net;
    address.port_net = platform::HostToNet16(port_);
    return Lookup::Found;
}

FlightGearFeed::FlightGearFeed(std::string host, uint16_t port, FlightGearQuantity quantity, FeedStatusSink status,
                               HostResolver resolver)
    : SimulatorFeed("flightgear", std::move(host), port, std::move(status), std::move(resolver)), quantity_(quantity) {
    StartThread();
}

void FlightGearFeed::Run() {
    while (!Stopping()) {
        auto attempt = FeedClock::now();
        platform::SocketAddress address;
        Lookup lookup = ResolveAddress(address);
        if (lookup == Lookup::Stopping) break;
        if (lookup == Lookup::Found) {
            platform::SocketHandle connection = Connect(address);
            if (connection != platform::kNoSocket) {
                SetProblem(property_problem_);
                Converse(connection);
                CloseConnection(connection);
            }
        }
        if (!PauseUntil(attempt + kReconnectInterval)) break;
    }
}

platform::SocketHandle FlightGearFeed::Connect(const platform::SocketAddress& address) {
    platform::SocketHandle connection = platform::OpenTcpSocket();
    if (connection == platform::kNoSocket) return connection;
    int started = platform::SetSocketNonBlocking(connection) == 0 ? platform::StartConnect(connection, address) : -1;
    int error = started < 0 ? platform::LastSocketError() : 0;
    if (started == 1) {
        // A simulator that does not answer the connection holds the feed for a second at
        // most, and a stop at once.
        auto give_up_at = FeedClock::now() + kReconnectInterval;
        bool ready = false;
        while (!ready && !Stopping() && FeedClock::now() < give_up_at) ready = WaitReady(connection, true, kStep);
        error = ready ? platform::ConnectOutcome(connection) : -1;
    }
    if (error == 0) return connection;
    SetProblem(error == platform::kConnectionRefusedError ? "connection refused" : "");
    platform::CloseSocket(connection);
    return platform::kNoSocket;
}

// One connection's life: ends when the server closes or fails it, or when it has given no
// value for kStalledConnection (a server that stalls, or sends only what is no number).
void FlightGearFeed::Converse(platform::SocketHandle connection) {
    if (!SendText(connection, kFlightGearDataMode)) return;
    // Each connection asks for the instrument first: it may be another aircraft by now.
    bool instrument = quantity_ == FlightGearQuantity::Automatic || quantity_ == FlightGearQuantity::Instrument;
    bool total_energy = quantity_ == FlightGearQuantity::TotalEnergy;
    SetLiveNote("");
    PropertyLineReader reader;
    TotalEnergyVario energy;
    std::array<PropertyAnswer, kFlightGearEnergyProperties.size()> energy_round;
    auto now = FeedClock::now();
    auto last_value_at = now;
    auto next_poll = now;
    size_t awaiting = 0;  // answers still owed to the round asked
    auto delivered = [&](bool taken) {
        if (!taken) return;
        last_value_at = FeedClock::now();
        property_problem_.clear();
    };
    auto missing = [&](const char* property) {
        property_problem_ = std::string("no such property ") + property;
        SetProblem(property_problem_);
    };
    auto take_energy_round = [&] {
        for (size_t i = 0; i < energy_round.size(); ++i) {
            if (energy_round[i].kind == PropertyAnswer::Kind::Empty) return missing(kFlightGearEnergyProperties[i]);
            if (energy_round[i].kind != PropertyAnswer::Kind::Number) return;
        }
        auto climb_mps = energy.Add({energy_round[0].value / kFeetPerMetre,
                                     energy_round[1].value / kKnotsPerMetrePerSecond, energy_round[2].value});
        if (climb_mps) delivered(DeliverMetresPerSecond(*climb_mps));
    };
    auto take_answer = [&](const PropertyAnswer& answer) {
        if (awaiting == 0) return;  // nothing was asked
        --awaiting;
        if (total_energy) {
            energy_round[energy_round.size() - 1 - awaiting] = answer;
            if (awaiting == 0) take_energy_round();
            return;
        }
        const char* property = instrument ? kFlightGearInstrumentProperty : kFlightGearFlightModelProperty;
        if (answer.kind == PropertyAnswer::Kind::Number) {
            delivered(Deliver(instrument ? answer.value : answer.value * 60));
        } else if (answer.kind == PropertyAnswer::Kind::Empty && instrument &&
                   quantity_ == FlightGearQuantity::Automatic) {
            instrument = false;
            next_poll = FeedClock::now();
            SetLiveNote(std::string("from ") + kFlightGearFlightModelProperty + ": the aircraft has no " +
                        kFlightGearInstrumentProperty);
        } else if (answer.kind == PropertyAnswer::Kind::Empty) {
            missing(property);
        }
    };
    while (!Stopping()) {
        now = FeedClock::now();
        if (now - last_value_at >= kStalledConnection) return;
        // One round at a time: the server answers about one question per simulator frame,
        // and questions sent faster would queue there and age every answer.
        if (awaiting == 0 && now >= next_poll) {
            std::string round;
            if (total_energy) {
                for (const char* property : kFlightGearEnergyProperties) round += PropertyQuery(property);
                awaiting = kFlightGearEnergyProperties.size();
            } else {
                round = PropertyQuery(instrument ? kFlightGearInstrumentProperty : kFlightGearFlightModelProperty);
                awaiting = 1;
            }
            if (!SendText(connection, round)) return;
            next_poll = now + kPollInterval;
        }
        auto wait = awaiting > 0 ? FeedClock::duration(kStep) : std::max<FeedClock::duration>(next_poll - now, {});
        if (WaitReady(connection, false, wait)) {
            char chunk[4096];
            int got = platform::ReceiveBytes(connection, reinterpret_cast<uint8_t*>(chunk), sizeof chunk);
            if (got <= 0) return;
            reader.Append(chunk, static_cast<size_t>(got), take_answer);
        }
        TellStatus();
    }
}

XPlaneFeed::XPlaneFeed(std::string host, uint16_t port, FeedStatusSink status, HostResolver resolver,
                       XPlaneQuantity quantity)
    : SimulatorFeed("xplane", std::move(host), port, std::move(status), std::move(resolver)), quantity_(quantity) {
    StartThread();
}

bool XPlaneFeed::Subscribe(platform::SocketHandle udp, const platform::SocketAddress& simulator, int32_t frequency_hz) {
    std::vector<RrefSubscription> subscriptions;
    if (quantity_ == XPlaneQuantity::TotalEnergy) {
        for (size_t i = 0; i < kXPlaneEnergyDatarefs.size(); ++i)
            subscriptions.push_back({frequency_hz, kIndex + 1 + static_cast<int32_t>(i), kXPlaneEnergyDatarefs[i]});
    } else {
        subscriptions.push_back({frequency_hz, kIndex, kXPlaneVerticalSpeedDataref});
    }
    bool sent = false;
    for (const RrefSubscription& subscription : subscriptions) {
        auto request = RrefRequest(subscription);
        sent |= platform::SendDatagram(udp, simulator, request.data(), static_cast<int32_t>(request.size())) > 0;
    }
    return sent;
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
    XPlaneSenderRule senders;
    bool subscribed = false;  // a request went out, so a cancel is owed at the end
    auto last_request_at = FeedClock::time_point{};
    auto last_value_at = FeedClock::time_point{};
    bool ever_requested = false;
    TotalEnergyVario energy;
    // The value an admitted answer carries, if any: the indicator's, or the total energy.
    auto value_of = [&](const uint8_t* datagram, size_t count) -> bool {
        if (quantity_ != XPlaneQuantity::TotalEnergy) {
            auto climb_fpm = RrefValueOf(datagram, count, kIndex);
            return climb_fpm && Deliver(*climb_fpm);
        }
        std::array<double, kXPlaneEnergyDatarefs.size()> values{};
        for (size_t i = 0; i < values.size(); ++i) {
            auto value = RrefValueOf(datagram, count, kIndex + 1 + static_cast<int32_t>(i));
            if (!value) return false;
            values[i] = *value;
        }
        auto climb_mps = energy.Add({values[0], values[1], values[2]});
        return climb_mps && DeliverMetresPerSecond(*climb_mps);
    };
    while (!Stopping()) {
        auto now = FeedClock::now();
        bool silent = now - last_value_at >= kResubscribeInterval;
        if (silent && (!ever_requested || now - last_request_at >= kResubscribeInterval)) {
            ever_requested = true;
            // Looked up again each time: the simulator's machine may come up later.
            platform::SocketAddress address;
            Lookup lookup = ResolveAddress(address);
            if (lookup == Lookup::Stopping) break;
            last_request_at = FeedClock::now();
            if (lookup == Lookup::Found) {
                simulator = address;
                if (Subscribe(udp, simulator, kFrequencyHz)) {
                    subscribed = true;
                    senders.Subscribed(simulator.address_net);
                    energy.Reset();
                }
            }
        }
        if (WaitReady(udp, false, kStep)) {
            // A bounded number per pass, so that a flood still lets the loop look around.
            for (int datagrams = 0; datagrams < 64; ++datagrams) {
                uint8_t datagram[kMaxRrefAnswerBytes + 1];
                platform::SocketAddress from;
                int got = platform::ReceiveDatagram(udp, datagram, sizeof datagram, from);
                if (got < 0) break;
                // An answer too long was cut.
                if (!subscribed || got > static_cast<int>(kMaxRrefAnswerBytes)) continue;
                if (!senders.Admits(from)) {
                    // The first sender ignored is named; more of them change nothing.
                    if (!HasProblem()) SetProblem("answers from " + SocketAddressText(from) + " ignored");
                    continue;
                }
                if (value_of(datagram, static_cast<size_t>(got))) {
                    last_value_at = FeedClock::now();
                    senders.Took(from);
                }
            }
        }
        TellStatus();
    }
    if (subscribed) Subscribe(udp, simulator, 0);
    platform::CloseSocket(udp);
}

CondorFeed::CondorFeed(std::string address, uint16_t port, std::string quantity, FeedStatusSink status)
    : SimulatorFeed("condor", std::move(address), port, std::move(status), PlatformHostResolver()),
      quantity_(std::move(quantity)) {
    StartThread();
}

void CondorFeed::Run() {
    platform::SocketHandle udp = platform::kNoSocket;
    while (!Stopping()) {
        udp = platform::OpenUdpSocket(platform::ParseIpv4Text(host_), port_);
        if (udp != platform::kNoSocket && platform::SetSocketNonBlocking(udp) == 0) break;
        if (udp != platform::kNoSocket) platform::CloseSocket(udp);
        udp = platform::kNoSocket;
        SetProblem("cannot listen on UDP port " + std::to_string(port_));
        if (!PauseUntil(FeedClock::now() + kReconnectInterval)) return;
    }
    if (udp == platform::kNoSocket) return;
    SetProblem("");

    CondorSenderRule senders;
    std::vector<uint8_t> datagram(kMaxCondorDatagramBytes);
    while (!Stopping()) {
        if (WaitReady(udp, false, kStep)) {
            // A bounded number per pass, so that a flood still lets the loop look around.
            for (int datagrams = 0; datagrams < 64; ++datagrams) {
                platform::SocketAddress from;
                int got = platform::ReceiveDatagram(udp, datagram.data(), static_cast<int32_t>(datagram.size()), from);
                if (got < 0) break;
                if (!senders.Admits(from, FeedClock::now())) {
                    // The first sender ignored is named; more of them change nothing.
                    if (!HasProblem()) SetProblem("datagrams from " + SocketAddressText(from) + " ignored");
                    continue;
                }
                // A datagram too long was cut: none of it counts.
                if (got > static_cast<int>(datagram.size())) continue;
                std::string_view text(reinterpret_cast<const char*>(datagram.data()), static_cast<size_t>(got));
                if (auto climb_mps = CondorValueOf(text, quantity_)) DeliverMetresPerSecond(*climb_mps);
            }
        }
        TellStatus();
    }
    platform::CloseSocket(udp);
}
