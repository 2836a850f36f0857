// A fast CPU Gaussian blur of 8-bit four-channel pictures, with the picture's
// edge pixels repeated outward without end (clamped edges).
//
// `sigma` is the Gaussian's standard deviation in pixels. The result stays
// within about 0.5 of a level of the exact double-precision blur on screen
// pictures (better than 50 dB PSNR) at a cost that hardly grows with sigma; see
// gaussian_blur.cpp for the method and why it is exact enough.
//
// A `GaussianBlur` owns its scratch memory (a few copies of the picture at
// quarter size and less, and rows), reused from call to call; one object serves one
// thread at a time. Rows may be split across threads through a `RowSplitter`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace hg {

namespace blur {
struct BlurKernels;
}

// Runs `body` over the rows [0, count), cut into ranges that may run on several
// threads at once; returns when every range has run. `worker` is below
// `workerCount()` and no two ranges running at the same time share it.
class RowSplitter {
public:
    virtual ~RowSplitter() = default;
    [[nodiscard]] virtual int workerCount() const = 0;
    virtual void run(int count, const std::function<void(int begin, int end, int worker)>& body) = 0;
};

class GaussianBlur {
public:
    // How a sigma is carried out: `levels` halvings of the picture (0 for a
    // direct blur, -1 for a plain copy when sigma is 0), then a sampled
    // Gaussian of `coarseSigma` (pixels of the coarsest level) truncated at
    // `radius` taps on each side.
    struct Plan {
        int levels = 0;
        double coarseSigma = 0;
        int radius = 0;
    };

    // `splitter` (optional, not owned) spreads the rows over threads;
    // `kernels` (optional) replaces the fastest inner loops this processor runs.
    explicit GaussianBlur(RowSplitter* splitter = nullptr, const blur::BlurKernels* kernels = nullptr);
    ~GaussianBlur();
    GaussianBlur(const GaussianBlur&) = delete;
    GaussianBlur& operator=(const GaussianBlur&) = delete;

    // Blurs `src` into `dst` (both width × height pixels of 4 bytes, rows
    // `srcStride` / `dstStride` bytes apart; they must not overlap). A negative
    // or zero sigma copies.
    void blur(const std::uint8_t* src, std::ptrdiff_t srcStride, std::uint8_t* dst, std::ptrdiff_t dstStride,
              int width, int height, double sigma);
    // The same blur written at another size: `dst` is dstWidth × dstHeight
    // pixels showing the whole picture (the centre of each of its pixels
    // falls on the matching point of the picture), so that whoever shows it
    // at that size need not scale it. From two pyramid levels up (sigma of
    // about 4.3 pixels and more) the last step up writes the new size
    // directly, at the cost of the output's size; below, the blur at the
    // picture's size is resampled bilinearly.
    void blur(const std::uint8_t* src, std::ptrdiff_t srcStride, int width, int height, std::uint8_t* dst,
              std::ptrdiff_t dstStride, int dstWidth, int dstHeight, double sigma);

    [[nodiscard]] static Plan planFor(double sigma);

private:
    struct Buffers;
    std::unique_ptr<Buffers> m_buffers;
    RowSplitter* m_splitter;
    const blur::BlurKernels* m_kernels;
};

} // namespace hg
