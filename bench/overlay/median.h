// Times a piece of work many times and gives the median, for the overlay's
// benchmark programs.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace hg::bench {

// Median wall time of `runs` calls of `work`, in microseconds.
template <typename Work>
double medianMicroseconds(int runs, Work&& work)
{
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work(i);
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[static_cast<std::size_t>(runs / 2)];
}

} // namespace hg::bench
