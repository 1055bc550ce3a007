// The program's command line: no argument starts the gauge; --version and --help
// answer without opening a window; anything else is refused.
#pragma once

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

std::string VersionText();
std::string HelpText();
