// The feeds from real simulators, each on a thread of its own that keeps the connection
// to the simulator (connecting again while it is away) and notes each value it reads.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "platform/sockets.h"
#include "tools/common/value_feed.h"

class SimulatorFeed : public ValueFeed {
public:
    FeedReading Read(double seconds) override;
    void Stop() override;

protected:
    SimulatorFeed(std::string name, std::string host, uint16_t port, FeedStatusSink status);
    // Derived classes start the thread at the end of their constructor and call Stop()
    // in their destructor, so that Run() never outlives their members.
    void StartThread();
    virtual void Run() = 0;

    bool Stopping() const { return stop_.load(); }
    void Deliver(double metres_per_minute);
    void TellStatus();  // prints the status line when it has changed
    // Sleeps until `until` in short steps, telling status changes; false once stopping.
    bool PauseUntil(FeedClock::time_point until);
    // The simulator's address, looked up anew for each connection; false when unknown.
    bool ResolveAddress(platform::SocketAddress& address);

    const std::string host_;
    const uint16_t port_;

private:
    std::mutex mutex_;
    FeedState state_;
    FeedStatusSink status_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// FlightGear's property server: one TCP connection, "data", then one
// "get /velocities/vertical-speed-fps" at a time, at most every kPollInterval.
class FlightGearFeed final : public SimulatorFeed {
public:
    static constexpr std::chrono::milliseconds kPollInterval{25};
    FlightGearFeed(std::string host, uint16_t port, FeedStatusSink status);
    ~FlightGearFeed() override { Stop(); }

private:
    void Run() override;
    void Converse(platform::SocketHandle connection);
};

// X-Plane's RREF subscription of the pilot's vertical speed indicator, renewed every
// kResubscribeInterval while nothing arrives and cancelled when the feed stops.
class XPlaneFeed final : public SimulatorFeed {
public:
    static constexpr int32_t kFrequencyHz = 30;
    static constexpr int32_t kIndex = 1;
    static constexpr std::chrono::seconds kResubscribeInterval{2};
    XPlaneFeed(std::string host, uint16_t port, FeedStatusSink status);
    ~XPlaneFeed() override { Stop(); }

private:
    void Run() override;
};
