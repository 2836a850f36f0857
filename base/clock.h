// The two clocks of the program, as a port so that tests can own time.
//
// Uptime drives frame timing, scan timing and capture times (nanoseconds, never
// goes back). The reference-date clock drives pauses, staleness, back-off and
// picture ages: seconds since 2001-01-01 00:00:00 UTC as a double.
// Implementations are safe to read from any thread.
#pragma once

#include <cstdint>

namespace hg {

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
inline constexpr double kReferenceDateUnixSeconds = 978307200.0;

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time since boot, in nanoseconds.
    [[nodiscard]] virtual std::uint64_t uptimeNanos() const = 0;
    // Wall-clock time, in seconds since 2001-01-01 00:00:00 UTC.
    [[nodiscard]] virtual double secondsSinceReferenceDate() const = 0;
};

} // namespace hg
