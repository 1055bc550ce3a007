// QueryRemoteValue: one request "offset,size,code" and NUL over NetClient, the next
// arrival within two seconds as its reply, converted with the user's decimal separator.
#include "net/remote_value.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "common/error.h"
#include "common/text.h"
#include "net/lx_tcp_block_client.h"
#include "platform/sockets.h"

namespace {
constexpr const char* kNotAFloat = "'%s' is not a valid floating point value";
// The longest the gauge waits for a reply before it takes the connection as lost.
constexpr int kReplyLimit_s = 2;

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
}  // namespace

std::string ReplyText(const uint8_t* buffer, int32_t count) {
    if (buffer == nullptr || count <= 0) return {};
    const void* nul = std::memchr(buffer, 0, static_cast<size_t>(count));
    size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - buffer) : static_cast<size_t>(count);
    return std::string(reinterpret_cast<const char*>(buffer), length);
}

double ReplyTextToFloat(const std::string& text, char decimal_separator) {
    auto fail = [&]() -> double { throw EVarioError(FormatText(kNotAFloat, {QuotedValue(text)})); };
    size_t at = 0, end = text.size();
    while (at < end && text[at] == ' ') ++at;
    while (end > at && text[end - 1] == ' ') --end;

    // The same number with "." as separator, for the locale-free conversion below.
    std::string plain;
    bool negative = false;
    if (at < end && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    size_t digits_start = at;
    while (at < end && IsDigit(text[at])) plain.push_back(text[at++]);
    if (at == digits_start) return fail();
    if (at < end && text[at] == decimal_separator) {
        plain.push_back('.');
        size_t fraction_start = ++at;
        while (at < end && IsDigit(text[at])) plain.push_back(text[at++]);
        if (at == fraction_start) return fail();
    }
    if (at < end && (text[at] == 'E' || text[at] == 'e')) {
        plain.push_back('e');
        ++at;
        if (at < end && (text[at] == '+' || text[at] == '-')) plain.push_back(text[at++]);
        size_t exponent_start = at;
        while (at < end && IsDigit(text[at])) plain.push_back(text[at++]);
        if (at == exponent_start) return fail();
    }
    if (at != end) return fail();

    double value = 0;
    auto [stop, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too small to hold is zero; too large has no value the gauge could show.
        if (!BelowOne(plain)) return fail();
        value = 0;
    } else if (error != std::errc() || stop != plain.data() + plain.size() || !std::isfinite(value)) {
        return fail();
    }
    return negative ? -value : value;
}

double QueryRemoteValue(int32_t offset, const std::string& size, const std::string& code) {
    if (!NetClient || !NetClient->IsConnected()) return 0;
    // Any loss of the connection during the query (a send that fails or finds no room,
    // the server's close or reset, a failed read, no reply within the limit) leaves the
    // client disconnected and the value 0: the frame shows the value missing and the
    // main loop reconnects, as when it was never connected.
    const uint8_t* buffer = nullptr;
    int32_t count = 0;
    if (!NetClient->SendText(std::to_string(offset) + "," + size + "," + code) ||
        !NetClient->Receive(buffer, count, kReplyLimit_s) || !NetClient->IsConnected()) {
        NetClient->Disconnect();
        return 0;
    }
    // Copied at once: the buffer lives only until the socket's next receive.
    return ReplyTextToFloat(ReplyText(buffer, count), platform::DecimalSeparator());
}
