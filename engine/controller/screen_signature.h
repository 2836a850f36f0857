// A text that changes whenever the set, arrangement, size or scale of the
// screens changes. Only ever compared with an earlier one in memory.
//
//     "1:0.0,0.0,1440.0,900.0:2.0|2:1440.0,0.0,1920.0,1080.0:1.0"
//
// Per screen, in the platform's order: the display number (0 without one), the
// frame's x, y, width and height, and the backing scale factor, each number in
// the shortest decimal text that reads back as the same double, with ".0" on
// whole numbers.
#pragma once

#include <string>
#include <vector>

#include "engine/windows/screens.h"

namespace hg {

[[nodiscard]] std::string screenSignature(const std::vector<Screen>& screens);
// The shortest round-trip decimal text of `value`, "2.0" for 2.
[[nodiscard]] std::string shortestDecimal(double value);

} // namespace hg
