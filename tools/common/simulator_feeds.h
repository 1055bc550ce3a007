// The feeds from real simulators, each on a thread of its own that keeps the connection
// to the simulator (connecting again while it is away, or listening for it) and notes
// each value it reads.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/sockets.h"
#include "tools/common/value_feed.h"

// Looks a host name up: true with its IPv4 address (network order), false when unknown.
// May take as long as the name service takes.
using HostResolver = std::function<bool(const std::string& name, uint32_t& address_net)>;
HostResolver PlatformHostResolver();

class SimulatorFeed : public ValueFeed {
public:
    FeedReading Read(double seconds) override;
    void Stop() override;

protected:
    SimulatorFeed(std::string name, std::string host, uint16_t port, FeedStatusSink status, HostResolver resolver);
    // Derived classes start the thread at the end of their constructor and call Stop()
    // in their destructor, so that Run() never outlives their members.
    void StartThread();
    virtual void Run() = 0;

    bool Stopping() const { return stop_.load(); }
    // A climb in feet per minute from the simulator: noted when it counts as a value
    // (IsVerticalSpeedValue), which the result tells.
    bool Deliver(double climb_fpm);
    // A climb in metres per second (total energy, a glider's variometer), noted as Deliver.
    bool DeliverMetresPerSecond(double climb_mps);
    void SetProblem(std::string problem);  // see FeedState::SetProblem
    bool HasProblem();
    void SetLiveNote(std::string note);
    void TellStatus();  // prints the status line when it has changed
    // Sleeps until `until` in short steps, telling status changes; false once stopping.
    bool PauseUntil(FeedClock::time_point until);
    enum class Lookup { Found, NotFound, Stopping };
    // The simulator's address, looked up anew for each connection on a thread aside, so
    // that a name service that takes its time never holds up the stop.
    Lookup ResolveAddress(platform::SocketAddress& address);

    const std::string host_;
    const uint16_t port_;

private:
    struct PendingLookup;

    std::mutex mutex_;
    FeedState state_;
    FeedStatusSink status_;
    HostResolver resolver_;
    std::shared_ptr<PendingLookup> lookup_;  // one look-up at a time, kept when abandoned
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// FlightGear's property server: one TCP connection, "data", then one round of "get"s at a
// time, at most every kPollInterval: the vertical speed indicator's reading, or the flight
// model's vertical speed, or altitude, true airspeed and clock for the total energy (see
// FlightGearQuantity).
class FlightGearFeed final : public SimulatorFeed {
public:
    static constexpr std::chrono::milliseconds kPollInterval{25};
    FlightGearFeed(std::string host, uint16_t port, FlightGearQuantity quantity, FeedStatusSink status,
                   HostResolver resolver = PlatformHostResolver());
    ~FlightGearFeed() override { Stop(); }

private:
    void Run() override;
    // A connection to the simulator, or kNoSocket with the problem noted.
    platform::SocketHandle Connect(const platform::SocketAddress& address);
    void Converse(platform::SocketHandle connection);

    const FlightGearQuantity quantity_;
    std::string property_problem_;  // a property found missing, kept across connections
};

// X-Plane's RREF subscription of the pilot's vertical speed indicator (or of elevation,
// true airspeed and clock for the total energy, taken from answers that carry all three),
// renewed every kResubscribeInterval while nothing arrives and cancelled when the feed
// stops. Only the senders that XPlaneSenderRule admits are heard.
class XPlaneFeed final : public SimulatorFeed {
public:
    static constexpr int32_t kFrequencyHz = 30;
    static constexpr int32_t kIndex = 1;  // the indicator; the total energy's three follow it
    static constexpr std::chrono::seconds kResubscribeInterval{2};
    XPlaneFeed(std::string host, uint16_t port, FeedStatusSink status, HostResolver resolver = PlatformHostResolver(),
               XPlaneQuantity quantity = XPlaneQuantity::Indicator);
    ~XPlaneFeed() override { Stop(); }

private:
    void Run() override;
    // Each subscription of the quantity, at `frequency_hz` (0 cancels).
    bool Subscribe(platform::SocketHandle udp, const platform::SocketAddress& simulator, int32_t frequency_hz);

    const XPlaneQuantity quantity_;
};

// The instrument datagrams of Condor 2 and Silent Wings: a UDP port of this machine that
// takes "name=value" lines, the value of one name (`quantity`, m/s) from the first sender
// (CondorSenderRule). A port that cannot be opened is tried again every second.
class CondorFeed final : public SimulatorFeed {
public:
    CondorFeed(std::string address, uint16_t port, std::string quantity, FeedStatusSink status);
    ~CondorFeed() override { Stop(); }

private:
    void Run() override;

    const std::string quantity_;
};
