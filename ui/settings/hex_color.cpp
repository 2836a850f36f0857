#include "ui/settings/hex_color.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cctype>
#include <cstdio>

namespace hg {

std::optional<Color> colorFromHex(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '#')
        text.remove_prefix(1);
    if (text.size() != 6)
        return std::nullopt;
    // from_chars would accept a sign or "0x" nowhere here, but check every digit anyway.
    if (!std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return Color{((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0, 1};
}

std::string hexText(const Color& color)
{
    const auto byte = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", byte(color.red), byte(color.green), byte(color.blue));
    return buffer;
}

Hsb toHsb(const Color& color)
{
    const double r = std::clamp(color.red, 0.0, 1.0);
    const double g = std::clamp(color.green, 0.0, 1.0);
    const double b = std::clamp(color.blue, 0.0, 1.0);
    const double maxValue = std::max({r, g, b});
    const double delta = maxValue - std::min({r, g, b});
    Hsb hsb{0, maxValue > 0 ? delta / maxValue : 0, maxValue};
    if (delta <= 0)
        return hsb;
    double hue = 0;
    if (maxValue == r)
        hue = std::fmod((g - b) / delta, 6.0);
    else if (maxValue == g)
        hue = (b - r) / delta + 2;
    else
        hue = (r - g) / delta + 4;
    hsb.hue = hue < 0 ? (hue + 6) / 6 : hue / 6;
    return hsb;
}

Color fromHsb(const Hsb& hsb)
{
    const double h = std::clamp(hsb.hue, 0.0, 1.0) * 6;
    const double s = std::clamp(hsb.saturation, 0.0, 1.0);
    const double v = std::clamp(hsb.brightness, 0.0, 1.0);
    const double c = v * s;
    const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    const double m = v - c;
    double r = 0, g = 0, b = 0;
    switch (std::min(static_cast<int>(h), 5)) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
    }
    return Color{r + m, g + m, b + m, 1};
}

} // namespace hg
