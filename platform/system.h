// Process-level platform operations: working directory, program name, files, exit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The process's current working directory, without a trailing separator.
std::string WorkingDirectory();

// Joins a directory and a file name with the platform's path separator.
std::string JoinPath(std::string_view directory, std::string_view name);

// File name (no directory) of the running program, e.g. "ORVEXVario.exe".
std::string ProgramFileName();

// Reads a whole file. On failure returns false and puts the platform's reason
// (its own error text, e.g. "No such file or directory") into `reason`.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);

// Value of an environment variable, or empty when unset.
std::string EnvironmentValue(const char* name);

[[noreturn]] void ExitProcess(int status);

// Keeps SIGINT, SIGTERM and SIGHUP away from the calling thread (a helper thread), so
// that they reach the main thread's waits. Nothing on Windows.
void BlockStopSignalsInThisThread();

}  // namespace platform
