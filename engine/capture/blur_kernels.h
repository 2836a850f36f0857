// The inner loops of the Gaussian blur (engine/capture/gaussian_blur.h), built
// once per instruction set (a baseline build and, on x86-64, an AVX2 + FMA one)
// and chosen at run time by `blurKernels()`.
//
// Every kernel works on a range of output rows so that the caller may split an
// image across threads; kernels keep no state and only touch the rows they are
// given plus the per-worker scratch rows passed in.
//
// Pixels are four channels (any order; all four are treated alike). Float planes
// hold channel values on the 0...255 scale.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hg::blur {

// A float RGBA image over an index range that may reach beyond the picture:
// columns loX ... loX + width - 1 and rows loY ... loY + height - 1. Reads past
// the stored range repeat its outermost pixels. `stride` (floats per row) leaves
// at least 8 spare floats after each row, so 8-float stores may run over.
struct Plane {
    float* data = nullptr;
    int loX = 0;
    int loY = 0;
    int width = 0;   // pixels
    int height = 0;  // pixels
    int stride = 0;  // floats

    [[nodiscard]] int hiX() const { return loX + width - 1; }
    [[nodiscard]] int hiY() const { return loY + height - 1; }
    // Row `y` in plane coordinates, clamped into the stored range.
    [[nodiscard]] float* row(int y) const
    {
        const int c = y < loY ? loY : (y > hiY() ? hiY() : y);
        return data + static_cast<std::ptrdiff_t>(c - loY) * stride;
    }
};

// Scratch rows of one worker; each holds at least `scratchFloats` floats
// (or as many 16-bit values), see gaussian_blur.cpp.
struct RowScratch {
    float* a = nullptr;               // a padded row (floats)
    float* even = nullptr;            // even pixels of a row being decimated
    float* odd = nullptr;             // odd pixels of a row being decimated
    std::uint16_t* sum16 = nullptr;   // the same three for the exact 16-bit first level
    std::uint16_t* even16 = nullptr;
    std::uint16_t* odd16 = nullptr;
    float* upRows[3] = {nullptr, nullptr, nullptr};  // coarse rows widened to the finer level
    float* ring = nullptr;                           // eight rows of a level kept only in cache
    int ringStride = 0;                              // floats
};

// One output pixel of a resampling along one axis: the weighted sum of three
// neighbouring level-1 pixels `first`, `first + 1`, `first + 2` (in the
// level's own coordinates, inside its stored range).
struct ResampleTap {
    int first = 0;
    float weights[3] = {0, 0, 0};
};

struct BlurKernels {
    // 8-bit picture (width w, height h, rows `stride` bytes apart) → the next
    // coarser pyramid level `out` (rows [r0, r1) of the plane, 0-based).
    void (*downFromBytes)(const std::uint8_t* src, std::ptrdiff_t stride, int w, int h, const Plane& out,
                          int r0, int r1, RowScratch& scratch);
    // The same two levels down; `mid` gives the middle level's geometry (its
    // rows are made in 16 bits in the scratch ring, its data is not used).
    void (*downTwiceFromBytes)(const std::uint8_t* src, std::ptrdiff_t stride, int w, int h, const Plane& mid,
                               const Plane& out, int r0, int r1, RowScratch& scratch);
    // Pyramid level `in` → the next coarser level `out`.
    void (*down)(const Plane& in, const Plane& out, int r0, int r1, RowScratch& scratch);
    // Horizontal / vertical pass of a symmetric kernel taps[0..radius]
    // (taps[0] is the centre) from `in` into `out` of the same geometry.
    void (*gaussRows)(const Plane& in, const Plane& out, const float* taps, int radius, int r0, int r1,
                      RowScratch& scratch);
    void (*gaussColumns)(const Plane& in, const Plane& out, const float* taps, int radius, int r0, int r1);
    // Level `coarse` → the next finer level `fine` (float).
    void (*up)(const Plane& coarse, const Plane& fine, int r0, int r1, RowScratch& scratch);
    // Level 1 → the 8-bit picture (rows [r0, r1) of the picture).
    void (*upToBytes)(const Plane& coarse, std::uint8_t* dst, std::ptrdiff_t stride, int w, int h, int r0,
                      int r1, RowScratch& scratch);
    // Level 2 → the 8-bit picture, level 1 (`mid`) living only in 16-bit
    // scratch rows.
    void (*upTwiceToBytes)(const Plane& coarse, const Plane& mid, std::uint8_t* dst, std::ptrdiff_t stride, int w,
                           int r0, int r1, RowScratch& scratch);
    // Level 2 → an 8-bit picture of any size: level 1 (`mid`, data not used)
    // is made in scratch rows and resampled along the rows by `columns` (one
    // per output column, `outW` of them), then down the columns by `rows`
    // (one per output row; rows [r0, r1) are written).
    void (*upTwiceToSize)(const Plane& coarse, const Plane& mid, std::uint8_t* dst, std::ptrdiff_t stride, int outW,
                          const ResampleTap* columns, const ResampleTap* rows, int r0, int r1, RowScratch& scratch);
    // Plain conversions for blurs too narrow for a pyramid.
    void (*bytesToPlane)(const std::uint8_t* src, std::ptrdiff_t stride, const Plane& out, int r0, int r1);
    void (*planeToBytes)(const Plane& in, std::uint8_t* dst, std::ptrdiff_t stride, int r0, int r1);
    const char* name;
};

// The fastest kernels this processor runs.
[[nodiscard]] const BlurKernels& blurKernels();
// The baseline kernels (for comparisons in tests and benchmarks).
[[nodiscard]] const BlurKernels& baselineBlurKernels();

} // namespace hg::blur
