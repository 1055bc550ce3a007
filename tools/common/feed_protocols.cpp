// FlightGear's property lines, X-Plane's RREF datagrams and the glider simulators'
// "name=value" datagrams, read and written.
#include "tools/common/feed_protocols.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "common/little_endian.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool IsVerticalSpeedValue(double climb_fpm) { return std::isfinite(climb_fpm) && std::fabs(climb_fpm) <= kMaxClimbFpm; }

double MetresPerMinuteOfDescent(double climb_fpm) { return -climb_fpm / kFeetPerMetre; }

std::string PropertyQuery(std::string_view path) { return "get " + std::string(path) + "\r\n"; }

PropertyAnswer ParsePropertyAnswer(std::string_view line) {
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    if (line.empty()) return {PropertyAnswer::Kind::Empty};
    // from_chars: the same in every locale, and it never reads past the line.
    double value = 0;
    auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (error != std::errc() || end != line.data() + line.size() || !std::isfinite(value)) return {};
    return {PropertyAnswer::Kind::Number, value};
}

void PropertyLineReader::Append(const char* bytes, size_t count, const LineHandler& handle_line) {
    for (size_t i = 0; i < count; ++i) {
        char c = bytes[i];
        if (c == '\n') {
            handle_line(overlong_ ? PropertyAnswer{} : ParsePropertyAnswer(line_));
            line_.clear();
            overlong_ = false;
        } else if (!overlong_) {
            if (line_.size() < kMaxLineBytes) {
                line_.push_back(c);
            } else {
                line_.clear();
                overlong_ = true;
            }
        }
    }
}

void PropertyLineReader::Reset() {
    line_.clear();
    overlong_ = false;
}

std::array<uint8_t, kRrefRequestBytes> RrefRequest(const RrefSubscription& subscription) {
    std::array<uint8_t, kRrefRequestBytes> request{};
    std::memcpy(request.data(), "RREF", 5);  // with its NUL
    StoreLe32(&request[5], static_cast<uint32_t>(subscription.frequency_hz));
    StoreLe32(&request[9], static_cast<uint32_t>(subscription.index));
    size_t path_bytes = std::min(subscription.dataref.size(), kRrefPathBytes - 1);
    std::memcpy(&request[13], subscription.dataref.data(), path_bytes);
    return request;
}

std::optional<RrefSubscription> ParseRrefRequest(const uint8_t* bytes, size_t count) {
    if (count != kRrefRequestBytes || std::memcmp(bytes, "RREF", 5) != 0) return std::nullopt;
    RrefSubscription subscription;
    subscription.frequency_hz = static_cast<int32_t>(LoadLe32(bytes + 5));
    subscription.index = static_cast<int32_t>(LoadLe32(bytes + 9));
    const char* path = reinterpret_cast<const char*>(bytes + 13);
    subscription.dataref.assign(path, strnlen(path, kRrefPathBytes));
    return subscription;
}

std::vector<uint8_t> RrefAnswer(const std::vector<std::pair<int32_t, float>>& pairs) {
    std::vector<uint8_t> answer(kRrefHeaderBytes + pairs.size() * kRrefPairBytes);
    std::memcpy(answer.data(), "RREF,", kRrefHeaderBytes);
    uint8_t* at = answer.data() + kRrefHeaderBytes;
    for (const auto& [index, value] : pairs) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        StoreLe32(at, static_cast<uint32_t>(index));
        StoreLe32(at + 4, bits);
        at += kRrefPairBytes;
    }
    return answer;
}

std::optional<float> RrefValueOf(const uint8_t* bytes, size_t count, int32_t index) {
    if (count < kRrefHeaderBytes + kRrefPairBytes || count > kMaxRrefAnswerBytes ||
        (count - kRrefHeaderBytes) % kRrefPairBytes != 0 || std::memcmp(bytes, "RREF", 4) != 0)
        return std::nullopt;
    std::optional<float> found;
    for (size_t at = kRrefHeaderBytes; at < count; at += kRrefPairBytes) {
        if (static_cast<int32_t>(LoadLe32(bytes + at)) != index) continue;
        uint32_t bits = LoadLe32(bytes + at + 4);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value)) found = value;
    }
    return found;
}

std::string SocketAddressText(const platform::SocketAddress& address) {
    return platform::Ipv4Text(address.address_net) + ":" + std::to_string(platform::NetToHost16(address.port_net));
}

bool IsLoopbackAddress(uint32_t address_net) {
    uint8_t first_octet;
    std::memcpy(&first_octet, &address_net, 1);  // network order: the first octet comes first
    return first_octet == 127;
}

void XPlaneSenderRule::Subscribed(uint32_t simulator_address_net) {
    simulator_address_net_ = simulator_address_net;
    answer_port_net_.reset();
}

bool XPlaneSenderRule::Admits(const platform::SocketAddress& from) const {
    bool same_address = from.address_net == simulator_address_net_ ||
                        (IsLoopbackAddress(from.address_net) && IsLoopbackAddress(simulator_address_net_));
    return same_address && (!answer_port_net_ || *answer_port_net_ == from.port_net);
}

void XPlaneSenderRule::Took(const platform::SocketAddress& from) {
    if (!answer_port_net_) answer_port_net_ = from.port_net;
}

std::optional<double> CondorValueOf(std::string_view datagram, std::string_view name) {
    std::optional<double> found;
    while (!datagram.empty()) {
        size_t end = datagram.find('\n');
        std::string_view line = datagram.substr(0, end);
        datagram.remove_prefix(end == std::string_view::npos ? datagram.size() : end + 1);
        while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
        size_t equals = line.find('=');
        if (equals == std::string_view::npos || line.substr(0, equals) != name) continue;
        std::string_view text = line.substr(equals + 1);
        found.reset();
        double value = 0;
        if (text.empty() || text.size() > kMaxCondorValueBytes) continue;
        // from_chars: the same in every locale; no "inf" or "nan" passes the checks below.
        auto [at, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && at == text.data() + text.size() && std::isfinite(value) &&
            std::fabs(value) <= kMaxGliderClimbMps)
            found = value;
    }
    return found;
}

bool CondorSenderRule::Admits(const platform::SocketAddress& from, Clock::time_point now) {
    bool same = speaker_ && speaker_->address_net == from.address_net && speaker_->port_net == from.port_net;
    if (!same && speaker_ && now - last_heard_ < kHandOverAfter) return false;
    speaker_ = from;
    last_heard_ = now;
    return true;
}
