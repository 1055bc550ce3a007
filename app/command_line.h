// The program's command line: no argument starts the gauge; --version and --help (also
// -h and /?) answer without opening a window; anything else is refused.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct CommandLineAnswer {
    int exit_status = 0;
    std::string out;  // for standard output
    std::string err;  // for standard error
};

// The answer to the arguments (program name excluded), or none when the gauge is to start.
std::optional<CommandLineAnswer> AnswerCommandLine(const std::vector<std::string>& arguments);

// Writes the answer to the two streams and returns the exit status: the answer's own,
// or 1, with a line on `err`, when `out` could not take it (a full disk, a closed pipe).
int WriteCommandLineAnswer(const CommandLineAnswer& answer, std::FILE* out, std::FILE* err);

std::string VersionText();
std::string HelpText();
