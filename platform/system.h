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

// The reason given for a path that names a device, a pipe or a folder.
inline constexpr const char* kNotARegularFile = "Not a regular file";

enum class FileKind { kMissing, kRegular, kOther };

// What a path names, following symbolic links, without opening it: a pipe or a device
// is looked at, never waited on. `size_bytes` is set for a regular file.
FileKind InspectFile(const std::string& path, uint64_t& size_bytes);

// Reads at most the first `max_bytes` of a regular file (or of one a symbolic link
// names), so that no file can make the program read without end. On failure returns
// false and puts the platform's reason (its own error text, e.g. "No such file or
// directory", or kNotARegularFile) into `reason`.
bool ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>& bytes, std::string& reason);

// Value of an environment variable, or empty when unset.
std::string EnvironmentValue(const char* name);

// Makes standard output and error reach the console the program was started from,
// where the platform does not already (a Windows GUI program started from a console).
void UseStartingConsole();

[[noreturn]] void ExitProcess(int status);

// For the tools: from now on SIGINT, SIGTERM and SIGHUP (a closed terminal), where the
// platform has them, are only noted for StopSignalNoted(), so that the tool ends in order
// (a simulator subscription cancelled). Every one is noted: a wrapper such as timeout
// passes its signal on twice, and the second must not cut the ending short.
void CatchStopSignals();
bool StopSignalNoted();

// Keeps SIGINT, SIGTERM and SIGHUP away from the calling thread (a helper thread), so
// that they reach the main thread's waits. Nothing on Windows.
void BlockStopSignalsInThisThread();

}  // namespace platform
