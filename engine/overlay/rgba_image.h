// A picture for the overlay: 8-bit RGBA pixels (bytes in the order red, green,
// blue, alpha; alpha premultiplied, 255 for screen pictures), rows `stride`
// bytes apart, top row first. The pixels are shared and never change once
// made, so the value is cheap to copy and safe to hand between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace hg {

struct RgbaImage {
    int width = 0;            // pixels
    int height = 0;           // pixels
    std::size_t stride = 0;   // bytes per row, at least 4 × width
    std::shared_ptr<const std::vector<std::uint8_t>> pixels;
    double pixelsPerPoint = 1;  // the scale it was captured at

    [[nodiscard]] bool isValid() const
    {
        return width > 0 && height > 0 && stride >= static_cast<std::size_t>(width) * 4 && pixels
            && pixels->size() >= stride * static_cast<std::size_t>(height);
    }
};

} // namespace hg
