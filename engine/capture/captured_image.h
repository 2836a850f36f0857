// A picture of a display as the capture service returns it and the blur
// processor hands to the overlay: 8-bit four-channel pixels, premultiplied
// alpha, rows stored top to bottom.
//
// Pixels are shared and never changed once the image is made, so an image is
// a cheap value that may be copied to any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hg {

// The order of the four bytes of a pixel in memory. X servers hand out BGRA
// (little-endian 32-bit ARGB); keeping that order spares a swizzle pass on the
// way in and another on the way back to the server.
enum class PixelOrder { rgba, bgra };

// A colour space, named; equal names are equal spaces.
struct ColorSpace {
    std::string name;

    [[nodiscard]] static ColorSpace sRGB() { return {"sRGB"}; }
    friend bool operator==(const ColorSpace&, const ColorSpace&) = default;
};

struct CapturedImage {
    int width = 0;                 // pixels
    int height = 0;                // pixels
    std::ptrdiff_t bytesPerRow = 0;
    PixelOrder order = PixelOrder::rgba;
    std::optional<ColorSpace> colorSpace;  // absent when the source did not say
    std::shared_ptr<const std::vector<std::uint8_t>> pixels;

    // A tightly packed image over `bytes` (width * height * 4 of them).
    [[nodiscard]] static CapturedImage make(int width, int height, std::vector<std::uint8_t> bytes,
                                            PixelOrder order = PixelOrder::rgba,
                                            std::optional<ColorSpace> colorSpace = ColorSpace::sRGB())
    {
        CapturedImage image;
        image.width = width;
        image.height = height;
        image.bytesPerRow = 4 * static_cast<std::ptrdiff_t>(width);
        image.order = order;
        image.colorSpace = std::move(colorSpace);
        image.pixels = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
        return image;
    }

    // True when the size is positive and the pixels cover it.
    [[nodiscard]] bool isValid() const
    {
        return width > 0 && height > 0 && bytesPerRow >= 4 * static_cast<std::ptrdiff_t>(width) && pixels
            && pixels->size() >= static_cast<std::size_t>(bytesPerRow) * (height - 1) + 4 * static_cast<std::size_t>(width);
    }
    [[nodiscard]] const std::uint8_t* row(int y) const { return pixels->data() + y * bytesPerRow; }
};

} // namespace hg
