// ORVEX_TRACE=FILE: one line per frame put on the screen, the monotonic time in
// milliseconds and the value the frame shows, for measuring the gauge's latency.
#pragma once

#include <cstdio>
#include <string>

// The environment variable naming the trace file.
inline constexpr const char* kTraceVariable = "ORVEX_TRACE";

class FrameTrace {
public:
    // An empty path traces nothing; a file that cannot be written raises.
    explicit FrameTrace(const std::string& path);
    ~FrameTrace();
    FrameTrace(const FrameTrace&) = delete;
    FrameTrace& operator=(const FrameTrace&) = delete;

    // A frame was swapped onto the screen showing the value (metres per minute as read),
    // or the OFF state when the value was missing.
    void FrameSwapped(double value_mpm, bool missing);

private:
    std::FILE* file_ = nullptr;
};
