// The program's start-up sequence and its one top-level error report.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// The exit status of a run that failed: the top-level report, or a window that could
// not be built.
inline constexpr int kFailureStatus = 1;

// Icon, configuration, shell flags, main loop. Returns the exit status: 0 after a
// normal end, kFailureStatus when a window could not be built.
int StartProgram();

// The text of the "Application Error" box for an error of the given kind.
std::string ApplicationErrorText(std::string_view kind, std::string_view module, const void* address,
                                 std::string_view message);

// Runs the program body; any error escaping it is shown in the "Application Error"
// box and ends the process with exit status 1.
int RunWithTopLevelReport(const std::function<int()>& body);
