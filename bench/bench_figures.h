// Figures the benchmarks print: percentiles of a set of timings.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// The sample at the given fraction (0.5: the median) of the sorted samples; needs one.
inline double Percentile(std::vector<double> samples, double fraction) {
    std::sort(samples.begin(), samples.end());
    size_t index = static_cast<size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[index];
}
