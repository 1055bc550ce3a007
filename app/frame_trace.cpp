// The frame trace: lines of "<monotonic ms> <value>" or "<monotonic ms> OFF", written
// through at once so that a reader sees each frame as it is shown.
#include "app/frame_trace.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "common/error.h"
#include "common/text.h"

namespace {
constexpr const char* kTraceNotWritable = "Cannot write the frame trace '%s': %s";
}  // namespace

FrameTrace::FrameTrace(const std::string& path) {
    if (path.empty()) return;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) throw EVarioError(FormatText(kTraceNotWritable, {QuotedValue(path), std::strerror(errno)}));
}

FrameTrace::~FrameTrace() {
    if (file_ != nullptr) std::fclose(file_);
}

void FrameTrace::FrameSwapped(double value_mpm, bool missing) {
    if (file_ == nullptr) return;
    // The steady clock is the system's monotonic one (CLOCK_MONOTONIC on Linux), which
    // another process can read to line its own times up with these.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const double now_ms = std::chrono::duration<double, std::milli>(now).count();
    if (missing) std::fprintf(file_, "%.3f OFF\n", now_ms);
    else std::fprintf(file_, "%.3f %.17g\n", now_ms, value_mpm);
    std::fflush(file_);
}
