// A colour as sRGB components from 0 to 1 (alpha straight, not premultiplied).
#pragma once

namespace hg {

struct Color {
    double red = 1;
    double green = 1;
    double blue = 1;
    double alpha = 1;

    [[nodiscard]] static constexpr Color white() { return {1, 1, 1, 1}; }
    [[nodiscard]] static constexpr Color black() { return {0, 0, 0, 1}; }

    friend bool operator==(const Color&, const Color&) = default;
};

// Relative luminance with Rec. 709 weights, each component clamped to 0...1.
[[nodiscard]] double relativeLuminance(double red, double green, double blue);

} // namespace hg
