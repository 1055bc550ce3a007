// The command-line reading shared by vario-simhost and vario-dataserver: one option at a
// time, integers for ports and counts, bounded durations, and an EVarioError with the
// message for anything else (the tools print it and end with status 2).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"

// The exit status of a tool given a bad option.
inline constexpr int kBadOptionStatus = 2;

// A whole number, decimal or 0x-prefixed hexadecimal, optionally negative, within
// [low, high]; none for anything else ("8e3", "1.0", " 5", "+5", "", overflow).
std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t low, int64_t high);

// A decimal number ("1.5", "-3", "2e2"), finite; none for anything else.
std::optional<double> ParseDecimalNumber(std::string_view text);

class OptionReader {
public:
    OptionReader(int argc, char** argv) : argc_(argc), argv_(argv) {}

    // Moves to the next option; false once all are read.
    bool Next();
    const std::string& Name() const { return name_; }

    // The option's value, the word after it; EVarioError "NAME needs a value" when none.
    std::string Value();
    // A whole number within [low, high] (see ParseWholeNumber).
    int64_t WholeNumber(int64_t low, int64_t high);
    // A finite decimal number.
    double DecimalNumber();
    // Seconds from 0 to max_s, fractions allowed.
    double Seconds(double max_s);

private:
    int argc_;
    char** argv_;
    int next_ = 1;
    std::string name_;
};

// A tool's command line, read in full. `take` takes the reader's option and its value
// (false for an option that is not the tool's), `check` looks at the whole once read;
// both raise EVarioError for what is bad. "--help" and "-h" print the help and end the
// process. 0 when all is good, else kBadOptionStatus after "TOOL: MESSAGE" and a hint
// on standard error.
int ReadToolOptions(const char* tool, int argc, char** argv, const std::function<void()>& print_help,
                    const std::function<bool(OptionReader&)>& take, const std::function<void()>& check);
