// Times a piece of work many times, for the overlay's benchmark programs: the
// median wall time, and the mean CPU time of this thread (steadier than wall
// time on a busy machine).
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

namespace hg::bench {

struct Timing {
    double medianMicroseconds = 0;  // wall clock
    double cpuMicroseconds = 0;     // this thread's CPU time, mean per run
};

inline double threadCpuMicroseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

template <typename Work>
Timing measure(int runs, Work&& work)
{
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(runs));
    const double cpuStart = threadCpuMicroseconds();
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work(i);
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    const double cpu = (threadCpuMicroseconds() - cpuStart) / runs;
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return {times[static_cast<std::size_t>(runs / 2)], cpu};
}

} // namespace hg::bench
