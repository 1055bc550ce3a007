#include "config/value_rules.h"

#include <charconv>
#include <cmath>

#include "common/error.h"
#include "common/text.h"

namespace {
constexpr const char* kNotAnInteger = "'%s' is not a valid integer value";
constexpr const char* kNotADecimal = "'%s' is not a valid decimal value";

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::string TrimValue(std::string_view value) {
    size_t first = 0, last = value.size();
    while (first < last && static_cast<unsigned char>(value[first]) <= 32) ++first;
    while (last > first && static_cast<unsigned char>(value[last - 1]) <= 32) --last;
    return std::string(value.substr(first, last - first));
}

bool IsYesFlag(std::string_view trimmed_value) { return trimmed_value == "Y"; }

bool IsNoFlag(std::string_view trimmed_value) { return trimmed_value == "N"; }

int32_t ConvertInteger(std::string_view text) {
    auto fail = [&]() -> int32_t { throw EVarioError(FormatText(kNotAnInteger, {QuotedValue(text)})); };
    std::string_view rest = text;
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    if (rest.empty()) return fail();

    size_t prefix = 0;
    if (rest.front() == '$' || rest.front() == 'x' || rest.front() == 'X') prefix = 1;
    else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) prefix = 2;

    if (prefix > 0) {
        rest.remove_prefix(prefix);
        if (rest.empty()) return fail();
        uint64_t pattern = 0;
        for (char c : rest) {
            int digit = HexDigitValue(c);
            if (digit < 0) return fail();
            pattern = pattern * 16 + static_cast<uint64_t>(digit);
            if (pattern > 0xFFFFFFFFull) return fail();
        }
        uint32_t bits = static_cast<uint32_t>(pattern);
        if (negative) bits = 0u - bits;
        return static_cast<int32_t>(bits);
    }

    int64_t magnitude = 0;
    for (char c : rest) {
        if (c < '0' || c > '9') return fail();
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL) return fail();
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL) return fail();
    return static_cast<int32_t>(value);
}

double ConvertDecimal(std::string_view text) {
    auto fail = [&]() -> double { throw EVarioError(FormatText(kNotADecimal, {QuotedValue(text)})); };
    size_t digits = 0, points = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') ++digits;
        else if (c == '.') ++points;
        else return fail();
    }
    if (digits == 0 || points > 1) return fail();
    // from_chars reads "." whatever the locale; it wants a digit before the point.
    std::string plain = text.front() == '.' ? "0" + std::string(text) : std::string(text);
    double value = 0;
    auto [stop, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || stop != plain.data() + plain.size() || !std::isfinite(value)) return fail();
    return value;
}

std::string IntegerText(int32_t value) { return std::to_string(value); }
