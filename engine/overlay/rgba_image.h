// A picture for the overlay: 8-bit four-channel pixels (bytes in the order red,
// green, blue, alpha, or blue, green, red, alpha as X servers keep them; alpha
// premultiplied, 255 for screen pictures), rows `stride` bytes apart, top row
// first. The pixels are shared and never change once
// made, so the value is cheap to copy and safe to hand between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/capture/captured_image.h"

namespace hg {

struct RgbaImage {
    int width = 0;            // pixels
    int height = 0;           // pixels
    std::size_t stride = 0;   // bytes per row, at least 4 × width
    std::shared_ptr<const std::vector<std::uint8_t>> pixels;
    double pixelsPerPoint = 1;  // the scale it was captured at
    PixelOrder order = PixelOrder::rgba;

    [[nodiscard]] bool isValid() const
    {
        return width > 0 && height > 0 && stride >= static_cast<std::size_t>(width) * 4 && pixels
            && pixels->size() >= stride * static_cast<std::size_t>(height);
    }
};

} // namespace hg
