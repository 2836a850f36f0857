#include "engine/controller/screen_signature.h"

#include <charconv>

namespace hg {

std::string shortestDecimal(double value)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find_first_of(".en") == std::string::npos)  // whole numbers; not 1e+21, inf or nan
        text += ".0";
    return text;
}

std::string screenSignature(const std::vector<Screen>& screens)
{
    std::string signature;
    for (const Screen& screen : screens) {
        if (!signature.empty())
            signature += '|';
        signature += std::to_string(screen.displayNumber.value_or(0));
        signature += ':';
        signature += shortestDecimal(screen.frame.origin.x) + ',' + shortestDecimal(screen.frame.origin.y) + ','
            + shortestDecimal(screen.frame.size.width) + ',' + shortestDecimal(screen.frame.size.height);
        signature += ':';
        signature += shortestDecimal(screen.backingScaleFactor);
    }
    return signature;
}

} // namespace hg
