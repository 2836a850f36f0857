// Colours written as hexadecimal text ("#4C7DF3"): the design tokens of the
// settings window and the hex field of its tint picker, and the conversion
// between a colour and hue, saturation and brightness that the picker edits.
//
// Plain functions; no thread rules.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/color.h"

namespace hg {

// Blanks and line breaks at both ends are ignored, then one leading "#"; the
// rest must be exactly six hexadecimal digits. Opaque sRGB; nullopt otherwise.
[[nodiscard]] std::optional<Color> colorFromHex(std::string_view text);
// "#RRGGBB", upper case; alpha is left out.
[[nodiscard]] std::string hexText(const Color& color);

// Hue, saturation and brightness, each 0…1.
struct Hsb {
    double hue = 0;
    double saturation = 0;
    double brightness = 1;
};
[[nodiscard]] Hsb toHsb(const Color& color);
// Opaque.
[[nodiscard]] Color fromHsb(const Hsb& hsb);

// The design tokens, with the fallback each uses when its text cannot be read.
namespace design_tokens {
inline constexpr std::string_view accent = "#4C7DF3";
inline constexpr std::string_view success = "#26C485";
inline constexpr std::string_view warning = "#FF9F0A";
inline constexpr std::string_view danger = "#FF453A";
} // namespace design_tokens

} // namespace hg
