// An X-Plane stand-in for the tests and the bridge benchmark: takes RREF subscriptions
// on a UDP port and answers each subscriber at the frequency it asked for, until it asks
// for frequency 0; the subscriptions of one subscriber at one frequency fall due together
// and go out in one answer, as X-Plane sends them. Serves the pilot's vertical speed
// indicator, elevation, true airspeed and running time; other datarefs are 0.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/sockets.h"

class XPlaneStandIn {
public:
    using Clock = std::chrono::steady_clock;

    XPlaneStandIn(uint32_t address_net, uint16_t port);
    ~XPlaneStandIn();
    XPlaneStandIn(const XPlaneStandIn&) = delete;
    XPlaneStandIn& operator=(const XPlaneStandIn&) = delete;

    bool Ok() const { return socket_ != platform::kNoSocket; }
    uint16_t Port() const { return port_; }

    // What the answers carry from now on, feet per minute, climb positive. Any thread.
    void SetVerticalSpeed(float climb_fpm) { climb_fpm_ = climb_fpm; }
    // Elevation (m), true airspeed (m/s) and the simulator's running time (s). Any thread.
    void SetEnergyState(float elevation_m, float true_airspeed_mps, float time_s) {
        elevation_m_ = elevation_m;
        true_airspeed_mps_ = true_airspeed_mps;
        time_s_ = time_s;
    }

    // Takes requests and sends the answers that fall due, for about `duration`.
    void Serve(Clock::duration duration);

    size_t Subscriptions() const { return subscriptions_.size(); }

    // One line per subscription, renewal and cancellation, e.g.
    // "subscribe 30 Hz index 1 sim/... from 127.0.0.1:40000", "cancel index 1 from ...".
    std::function<void(const std::string&)> on_event;
    // Each answer as it leaves, with the value it carries.
    std::function<void(Clock::time_point sent_at, float climb_fpm)> on_answer;

private:
    struct Subscription {
        platform::SocketAddress to;
        int32_t index;
        std::string dataref;
        Clock::duration period;
        Clock::time_point next_due;
    };
    void TakeRequest(const uint8_t* bytes, size_t count, const platform::SocketAddress& from);
    void SendDue(Clock::time_point now);
    float ValueOf(const std::string& dataref) const;

    platform::SocketHandle socket_ = platform::kNoSocket;
    uint16_t port_ = 0;
    std::atomic<float> climb_fpm_{0};
    std::atomic<float> elevation_m_{0};
    std::atomic<float> true_airspeed_mps_{0};
    std::atomic<float> time_s_{0};
    std::vector<Subscription> subscriptions_;
};
