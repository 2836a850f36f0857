// Median and percentiles of a set of timings, for the window-tracking benchmarks.
#pragma once

#include <algorithm>
#include <vector>

namespace hg::bench {

// The value below which `fraction` of the samples lie (nearest rank).
inline double percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}

} // namespace hg::bench
