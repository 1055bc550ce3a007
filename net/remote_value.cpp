// QueryRemoteValue: one request "offset,size,code" and NUL over NetClient, the bytes
// that come within two seconds up to a NUL as its reply, converted with the user's
// decimal separator.
#include "net/remote_value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/text.h"
#include "net/lx_tcp_block_client.h"
#include "platform/clock.h"
#include "platform/sockets.h"

namespace {
constexpr const char* kNotAFloat = "'%s' is not a valid floating point value";
// The longest the gauge waits for a whole reply before it takes the connection as lost.
constexpr int64_t kReplyLimit_ms = 2000;
// The longest reply taken: a peer that sends more without a NUL is no data server, and
// the bytes that follow could not be told from the next replies.
constexpr size_t kLongestReply = 4096;

// Whether a reply that is no number has been told since the last good value or loss.
bool bad_reply_told = false;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether a plain number ("digits[.digits][e[sign]digits]") is below one in magnitude.
bool BelowOne(const std::string& plain) {
    size_t exponent_at = plain.find('e');
    std::string mantissa = plain.substr(0, exponent_at);
    long long exponent = 0;
    if (exponent_at != std::string::npos) {
        size_t at = exponent_at + 1;
        bool negative = plain[at] == '-';
        if (plain[at] == '-' || plain[at] == '+') ++at;
        for (; at < plain.size() && exponent < 100000; ++at) exponent = exponent * 10 + (plain[at] - '0');
        if (negative) exponent = -exponent;
    }
    size_t point = mantissa.find('.');
    if (point == std::string::npos) point = mantissa.size();
    size_t first = mantissa.find_first_not_of("0.");
    if (first == std::string::npos) return true;
    // Decimal places of the leading digit: positive at or above one.
    long long magnitude =
        first < point ? static_cast<long long>(point - first) : -static_cast<long long>(first - point - 1);
    return magnitude + exponent <= 0;
}
// A text on one line of standard error: control characters as \xHH.
std::string OneLine(const std::string& text) {
    std::string line;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7F) {
            line.push_back(static_cast<char>(c));
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        line += escaped;
    }
    return line;
}

// The reply to the request just sent: the bytes of as many arrivals as it takes, up to
// its NUL (what follows the NUL in that arrival is dropped), all within the limit. None
// when the connection is lost meanwhile, the limit passes, or the reply grows too long.
std::optional<std::string> GatherReply() {
    platform::IMonotonicClock& clock = platform::SystemClock();
    const int64_t deadline_ms = clock.NowMilliseconds() + kReplyLimit_ms;
    std::string reply;
    while (reply.size() <= kLongestReply) {
        const uint8_t* buffer = nullptr;
        int32_t count = 0;
        int64_t left_ms = deadline_ms - clock.NowMilliseconds();
        if (left_ms <= 0 || !NetClient->ReceiveWithin(buffer, count, left_ms) || !NetClient->IsConnected())
            return std::nullopt;
        // Copied at once: the buffer lives only until the socket's next receive.
        std::string part = ReplyText(buffer, count);
        reply += part;
        if (part.size() < static_cast<size_t>(count)) return reply;
    }
    return std::nullopt;
}
}  // namespace

std::string ReplyText(const uint8_t* buffer, int32_t count) {
    if (buffer == nullptr || count <= 0) return {};
    const void* nul = std::memchr(buffer, 0, static_cast<size_t>(count));
    size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - buffer) : static_cast<size_t>(count);
    return std::string(reinterpret_cast<const char*>(buffer), length);
}

std::string NotANumberMessage(const std::string& text) { return FormatText(kNotAFloat, {QuotedValue(text)}); }

std::optional<double> ReplyNumber(const std::string& text, char decimal_separator) {
    size_t at = 0, end = text.size();
    while (at < end && text[at] == ' ') ++at;
    while (end > at && text[end - 1] == ' ') --end;

    // The same number with "." as separator, for the locale-free conversion below.
    std::string plain;
    bool negative = false;
    if (at < end && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    size_t digits_start = at;
    while (at < end && IsDigit(text[at])) plain.push_back(text[at++]);
    if (at == digits_start) return std::nullopt;
    if (at < end && text[at] == decimal_separator) {
        plain.push_back('.');
        size_t fraction_start = ++at;
        while (at < end && IsDigit(text[at])) plain.push_back(text[at++]);
        if (at == fraction_start) return std::nullopt;
    }
    if (at < end && (text[at] == 'E' || text[at] == 'e')) {
        plain.push_back('e');
        ++at;
        if (at < end && (text[at] == '+' || text[at] == '-')) plain.push_back(text[at++]);
        size_t exponent_start = at;
        while (at < end && IsDigit(text[at])) plain.push_back(text[at++]);
        if (at == exponent_start) return std::nullopt;
    }
    if (at != end) return std::nullopt;

    double value = 0;
    auto [stop, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too small to hold is zero; too large has no value the gauge could show.
        if (!BelowOne(plain)) return std::nullopt;
        value = 0;
    } else if (error != std::errc() || stop != plain.data() + plain.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<double> QueryRemoteValue(int32_t offset, const std::string& size, const std::string& code) {
    // Any loss of the connection during the query (a send that fails or finds no room,
    // the server's close or reset, a failed read, no whole reply within the limit)
    // leaves the client disconnected and the value missing: the main loop reconnects,
    // as when it was never connected.
    std::optional<std::string> reply;
    if (NetClient && NetClient->IsConnected() && NetClient->SendText(std::to_string(offset) + "," + size + "," + code))
        reply = GatherReply();
    if (!reply) {
        if (NetClient) NetClient->Disconnect();
        bad_reply_told = false;
        return std::nullopt;
    }
    std::optional<double> value = ReplyNumber(*reply, platform::DecimalSeparator());
    if (value) {
        bad_reply_told = false;
    } else if (!bad_reply_told) {
        bad_reply_told = true;
        std::fprintf(stderr, "%s\n", OneLine(NotANumberMessage(*reply)).c_str());
        std::fflush(stderr);
    }
    return value;
}
