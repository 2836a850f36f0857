// Turns one captured display picture into what the display's overlay shows:
// a Gaussian blur of the whole capture, same pixel size, byte order and colour
// space, and the brightness of the screen in a band around the focus window
// (the hole), which the overlay uses to choose a dark or light halo.
//
// `BlurProcessor` has only static operations and is never instantiated. The
// privacy controller calls `blur` off the main thread, possibly for several
// displays at once, and hands the `BlurredFrame` back to the main thread. The
// only shared state is a small process-wide cache of blur contexts (one per
// colour space, at most four, oldest dropped), guarded by a mutex that is never
// held while a context is made or a picture is blurred.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "base/geometry.h"
#include "engine/capture/captured_image.h"

namespace hg {

class GaussianBlur;

struct BlurredFrame {
    CapturedImage image;    // the blurred (or, with the blur off, unblurred) picture
    double scale = 1;       // image pixels per display point, as passed in
    // Relative luminance (Rec. 709, 0...1) of the average colour of the band
    // around the hole, the hole itself left out; absent without a hole or when
    // the band has no measurable pixels.
    std::optional<double> surroundLuminance;
};

// What a colour space's blurs share: reusable scratch memory for the blur
// and recycled picture buffers (a fresh 6 MB buffer costs page faults and
// clearing on every frame). Safe to use from several threads at once.
class BlurContext : public std::enable_shared_from_this<BlurContext> {
public:
    explicit BlurContext(ColorSpace space);
    ~BlurContext();

    [[nodiscard]] const ColorSpace& space() const { return m_space; }

    // A blur workspace for the calling thread's use; give it back with
    // `recycle` (at most a few are kept).
    [[nodiscard]] std::unique_ptr<GaussianBlur> takeBlur();
    void recycle(std::unique_ptr<GaussianBlur> blur);

    // A picture buffer of `bytes` bytes (contents undefined), shared once
    // filled; it comes back here when the last picture using it is dropped
    // (while this context lives).
    [[nodiscard]] std::unique_ptr<std::vector<std::uint8_t>> takeBuffer(std::size_t bytes);
    [[nodiscard]] std::shared_ptr<const std::vector<std::uint8_t>> share(
        std::unique_ptr<std::vector<std::uint8_t>> buffer);

private:
    ColorSpace m_space;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<GaussianBlur>> m_idle;
    std::vector<std::unique_ptr<std::vector<std::uint8_t>>> m_buffers;
};

class BlurProcessor {
public:
    BlurProcessor() = delete;

    // `hole`: the focus window's rectangle in image pixels, origin at the
    // image's bottom-left corner. `radius` in points; the Gaussian's standard
    // deviation is scale × radius pixels. Nothing comes back for an invalid
    // image or a radius that is not a finite number. `outputSize` (pixels,
    // whole numbers from 1 to kMaxOutputSide) asks for the blur at that size,
    // stretched from the whole image, so that the overlay need not scale it;
    // the frame's scale is then that of the output. Without the blur, and
    // without a usable size, the picture keeps the image's size.
    [[nodiscard]] static std::optional<BlurredFrame> blur(const CapturedImage& image, std::optional<Rect> hole,
                                                          bool applyBlur, double scale, double radius,
                                                          std::optional<Size> outputSize = std::nullopt);
    static constexpr double kMaxOutputSide = 16384;

    // The cached context for the space, made on a miss. Any thread.
    [[nodiscard]] static std::shared_ptr<BlurContext> context(const ColorSpace& space);
    // Contexts held right now (at most 4).
    [[nodiscard]] static std::size_t cachedContextCount();

    // Width of the measured band around the hole, in pixels: a radius below
    // 24 points counts as 24.
    [[nodiscard]] static double bandWidth(double scale, double radius);

    struct Color {
        double red = 0;
        double green = 0;
        double blue = 0;
    };

private:
    // Average of the picture over `area` with the pixels inside `hole` counted
    // as transparent black (both in image pixels, bottom-left origin, whole
    // numbers, inside the image); nullopt when at most 2 % of the area lies
    // outside the hole.
    [[nodiscard]] static std::optional<Color> averageColor(const CapturedImage& image, const Rect& area,
                                                           const Rect& hole);
    [[nodiscard]] static double luminance(const Color& color);
    [[nodiscard]] static std::optional<double> surroundLuminance(const CapturedImage& image, const Rect& hole,
                                                                 double scale, double radius);
};

} // namespace hg
