// The program's monotonic clock, for frame pacing and the needle's damping: seconds
// since an arbitrary start, never going back when the wall clock is set.
#pragma once

double MonotonicSeconds();
