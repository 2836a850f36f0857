#include "base/color.h"

#include <algorithm>

namespace hg {

double relativeLuminance(double red, double green, double blue)
{
    return 0.2126 * std::clamp(red, 0.0, 1.0) + 0.7152 * std::clamp(green, 0.0, 1.0)
        + 0.0722 * std::clamp(blue, 0.0, 1.0);
}

} // namespace hg
