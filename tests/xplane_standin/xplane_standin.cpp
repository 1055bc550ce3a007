// The X-Plane stand-in's subscriptions and answers.
#include "tests/xplane_standin/xplane_standin.h"

#include <algorithm>

#include "tools/common/feed_protocols.h"

namespace {

bool SameAddress(const platform::SocketAddress& a, const platform::SocketAddress& b) {
    return a.address_net == b.address_net && a.port_net == b.port_net;
}

}  // namespace

XPlaneStandIn::XPlaneStandIn(uint32_t address_net, uint16_t port) {
    socket_ = platform::OpenUdpSocket(address_net, port);
    if (socket_ == platform::kNoSocket) return;
    platform::SetSocketNonBlocking(socket_);
    port_ = platform::LocalPortOf(socket_);
}

XPlaneStandIn::~XPlaneStandIn() {
    if (socket_ != platform::kNoSocket) platform::CloseSocket(socket_);
}

void XPlaneStandIn::Serve(Clock::duration duration) {
    auto end = Clock::now() + duration;
    for (;;) {
        auto now = Clock::now();
        SendDue(now);
        if (now >= end) return;
        auto until = end;
        for (const Subscription& s : subscriptions_) until = std::min(until, s.next_due);
        auto wait_us = std::chrono::duration_cast<std::chrono::microseconds>(until - now).count();
        if (platform::WaitSocketReady(socket_, false, std::max<int64_t>(wait_us, 0)) <= 0) continue;
        for (int i = 0; i < 64; ++i) {
            uint8_t datagram[2048];
            platform::SocketAddress from;
            int got = platform::ReceiveDatagram(socket_, datagram, sizeof datagram, from);
            if (got < 0) break;
            if (got <= static_cast<int>(sizeof datagram)) TakeRequest(datagram, static_cast<size_t>(got), from);
        }
    }
}

void XPlaneStandIn::TakeRequest(const uint8_t* bytes, size_t count, const platform::SocketAddress& from) {
    auto request = ParseRrefRequest(bytes, count);
    if (!request) {
        if (on_event)
            on_event("ignored a datagram of " + std::to_string(count) + " bytes from " + SocketAddressText(from));
        return;
    }
    auto same = [&](const Subscription& s) { return SameAddress(s.to, from) && s.index == request->index; };
    auto found = std::find_if(subscriptions_.begin(), subscriptions_.end(), same);
    if (request->frequency_hz <= 0) {
        if (found != subscriptions_.end()) subscriptions_.erase(found);
        if (on_event) on_event("cancel index " + std::to_string(request->index) + " from " + SocketAddressText(from));
        return;
    }
    Subscription subscription{from, request->index, request->dataref,
                              std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(1.0 / std::min(request->frequency_hz, 1000))),
                              Clock::now()};
    // Due with the subscriber's others of the same frequency, so that they share answers.
    for (const Subscription& s : subscriptions_)
        if (SameAddress(s.to, from) && s.period == subscription.period) subscription.next_due = s.next_due;
    if (found != subscriptions_.end()) *found = subscription;
    else subscriptions_.push_back(subscription);
    if (on_event)
        on_event("subscribe " + std::to_string(request->frequency_hz) + " Hz index " + std::to_string(request->index) +
                 " " + request->dataref + " from " + SocketAddressText(from));
}

float XPlaneStandIn::ValueOf(const std::string& dataref) const {
    if (dataref == kXPlaneVerticalSpeedDataref) return climb_fpm_;
    if (dataref == kXPlaneElevationDataref) return elevation_m_;
    if (dataref == kXPlaneTrueAirspeedDataref) return true_airspeed_mps_;
    if (dataref == kXPlaneClockDataref) return time_s_;
    return 0.0f;
}

void XPlaneStandIn::SendDue(Clock::time_point now) {
    for (size_t first = 0; first < subscriptions_.size(); ++first) {
        Subscription& s = subscriptions_[first];
        if (s.next_due > now) continue;
        // This one and the subscriber's others that are due with it, in one answer.
        std::vector<std::pair<int32_t, float>> pairs;
        Clock::time_point due = s.next_due;
        for (size_t i = first; i < subscriptions_.size(); ++i) {
            Subscription& other = subscriptions_[i];
            if (!SameAddress(other.to, s.to) || other.next_due != due) continue;
            pairs.emplace_back(other.index, ValueOf(other.dataref));
            // The steady rate it asked for, without a burst to catch up after a stall.
            other.next_due += other.period;
            if (other.next_due < now) other.next_due = now + other.period;
        }
        auto answer = RrefAnswer(pairs);
        platform::SendDatagram(socket_, s.to, answer.data(), static_cast<int32_t>(answer.size()));
        if (on_answer) on_answer(Clock::now(), pairs.front().second);
    }
}
