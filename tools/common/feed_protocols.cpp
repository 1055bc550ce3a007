// FlightGear's property lines and X-Plane's RREF datagrams, read and written.
#include "tools/common/feed_protocols.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

void Store32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Load32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

double MetresPerMinuteOfClimb(double climb_fpm) { return -climb_fpm / kFeetPerMetre; }

std::optional<double> ParsePropertyNumber(std::string_view line) {
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    if (line.empty()) return std::nullopt;
    // from_chars: the same in every locale, and it never reads past the line.
    double value = 0;
    auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (error != std::errc() || end != line.data() + line.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

void PropertyLineReader::Append(const char* bytes, size_t count, const LineHandler& handle_line) {
    for (size_t i = 0; i < count; ++i) {
        char c = bytes[i];
        if (c == '\n') {
            handle_line(overlong_ ? std::nullopt : ParsePropertyNumber(line_));
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
    Store32(&request[5], static_cast<uint32_t>(subscription.frequency_hz));
    Store32(&request[9], static_cast<uint32_t>(subscription.index));
    size_t path_bytes = std::min(subscription.dataref.size(), kRrefPathBytes - 1);
    std::memcpy(&request[13], subscription.dataref.data(), path_bytes);
    return request;
}

std::optional<RrefSubscription> ParseRrefRequest(const uint8_t* bytes, size_t count) {
    if (count != kRrefRequestBytes || std::memcmp(bytes, "RREF", 5) != 0) return std::nullopt;
    RrefSubscription subscription;
    subscription.frequency_hz = static_cast<int32_t>(Load32(bytes + 5));
    subscription.index = static_cast<int32_t>(Load32(bytes + 9));
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
        Store32(at, static_cast<uint32_t>(index));
        Store32(at + 4, bits);
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
        if (static_cast<int32_t>(Load32(bytes + at)) != index) continue;
        uint32_t bits = Load32(bytes + at + 4);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value)) found = value;
    }
    return found;
}
