// Reading the tools' options strictly.
#include "tools/common/tool_options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/text.h"

std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t low, int64_t high) {
    bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    // An unsigned from_chars takes digits only: no second sign, no "+", no blank.
    uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (magnitude > (negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX})) return std::nullopt;
    int64_t value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<double> ParseDecimalNumber(std::string_view text) {
    // from_chars: the same in every locale; no blanks, no "+", no hexadecimal, no "inf".
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool OptionReader::Next() {
    if (next_ >= argc_) return false;
    name_ = argv_[next_++];
    return true;
}

std::string OptionReader::Value() {
    if (next_ >= argc_) throw EVarioError(name_ + " needs a value");
    return argv_[next_++];
}

int64_t OptionReader::WholeNumber(int64_t low, int64_t high) {
    std::string text = Value();
    if (auto value = ParseWholeNumber(text, low, high)) return *value;
    throw EVarioError(name_ + " needs a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                      ", not '" + QuotedValue(text) + "'");
}

double OptionReader::DecimalNumber() {
    std::string text = Value();
    if (auto value = ParseDecimalNumber(text)) return *value;
    throw EVarioError(name_ + " needs a number, not '" + QuotedValue(text) + "'");
}

double OptionReader::Seconds(double max_s) {
    std::string text = Value();
    auto value = ParseDecimalNumber(text);
    if (value && *value >= 0 && *value <= max_s) return *value;
    char bound[32];
    std::snprintf(bound, sizeof bound, "%g", max_s);
    throw EVarioError(name_ + " needs seconds from 0 to " + bound + ", not '" + QuotedValue(text) + "'");
}

int ReadToolOptions(const char* tool, int argc, char** argv, const std::function<void()>& print_help,
                    const std::function<bool(OptionReader&)>& take, const std::function<void()>& check) {
    try {
        OptionReader reader(argc, argv);
        while (reader.Next()) {
            if (reader.Name() == "--help" || reader.Name() == "-h") {
                print_help();
                std::exit(std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1);
            }
            if (!take(reader)) throw EVarioError("unknown option '" + QuotedValue(reader.Name()) + "'");
        }
        check();
        return 0;
    } catch (const EVarioError& error) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", tool, error.what(), tool);
        return kBadOptionStatus;
    }
}
