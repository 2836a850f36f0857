// Comparison of version strings the way update feeds expect them.
//
// A version is read as a list of parts: runs of digits are numbers, runs of
// letters are labels, everything else only separates parts. Parts compare one
// by one: numbers by value ("1.10" is newer than "1.9", any length of digits),
// labels case-insensitively in alphabetical order ("1.0b1" < "1.0rc1"), and a
// number is newer than a label in the same place ("1.0.1" > "1.0b1"). When one
// version runs out of parts, a missing number counts as 0 ("1.0" equals
// "1.0.0") and a missing label as a final release, newer than any label
// ("1.0b1" < "1.0"). Pure functions, any thread.
#pragma once

#include <string_view>

namespace hg {

// Negative when `a` is older than `b`, zero when equal, positive when newer.
[[nodiscard]] int compareVersions(std::string_view a, std::string_view b);

[[nodiscard]] inline bool isNewerVersion(std::string_view candidate, std::string_view current)
{
    return compareVersions(candidate, current) > 0;
}

} // namespace hg
