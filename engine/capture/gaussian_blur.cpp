#include "engine/capture/gaussian_blur.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/capture/blur_kernels.h"

// The method: a Gaussian pyramid, a small exact Gaussian at the top, and the
// way back down.
//
//   1. Down, k times: filter with the binomial kernel b = [1 4 6 4 1]/16 along
//      both axes and keep every second row and column.
//   2. At level k: a sampled Gaussian of standard deviation s (level-k pixels).
//   3. Up, k times: spread the level onto every second position of the finer
//      grid and filter with [1 4 6 4 1]/8 (cubic B-spline subdivision), the
//      last time straight into 8 bits.
//
// Why the result is the Gaussian of the asked sigma. Seen from the full-size
// picture, a step at level j is a filter whose taps lie 2^j pixels apart, so
// its variance is 4^j times its variance in its own pixels. Both binomial
// steps (down and up) have variance 1 in their own pixels. Variances of
// chained filters add, so the whole chain has
//
//     sigma^2 = sum_{j<k} 4^j (down) + sum_{j<k} 4^j (up) + 4^k s^2
//             = 2 (4^k - 1) / 3 + 4^k s^2,
//
// and s is chosen to make it exact: s^2 = (sigma^2 - 2 (4^k - 1) / 3) / 4^k.
// The chain is symmetric about every output pixel (each down step centres on
// position 2m, each up step on the coarse sample it spreads), so nothing is
// shifted. Its shape is the Gaussian's up to the higher cumulants of the short
// binomial filters, which are negligible against a Gaussian at least two
// coarse pixels wide: the 4th cumulant of the chain relative to sigma^4 stays
// below 1e-3.
//
// What is left is sampling error: frequencies folded over when a level drops
// every second sample (aliasing) and copies of the coarse spectrum at the
// finer rate (imaging). The binomial kernel has a fourth-order zero at each
// level's folding frequency, so a component folded to frequency delta arrives
// multiplied by about (delta / 2)^4 and then meets the rest of the chain,
// about exp(-sigma_j^2 delta^2 / 2) where sigma_j is the total sigma in the
// pixels of the level being decimated; the product peaks at
// (2 / (e sigma_j^2))^2. Every level is decimated only while sigma_j >= 2
// (the coarse Gaussian keeps s >= kMinCoarseSigma = 1 and the up steps add
// their own share), so folded and imaged components stay near 1e-2 of their
// amplitude at worst and far below for the broad spectra of real pictures:
// on screen pictures (text, flat panels, gradients, photographs) the result
// measures 59 dB PSNR against the exact double-precision blur, which is the
// floor set by rounding to 8 bits (58.9 dB); see bench/capture/blur_bench.
//
// Edges. The picture is extended by repeating its edge pixels without end.
// Beyond a few pixels of its edge every level of that extended picture is
// constant along the axis (the binomial of a constant is that constant), and
// each level is stored over exactly the range where it is not yet constant,
// [lo_j, hi_j] with lo_{j+1} = floor((lo_j - 2) / 2) and hi_{j+1} =
// ceil((hi_j + 2) / 2); reading past that range repeats its outermost pixel,
// which is then exact, not an approximation. The up steps only read inside the
// stored ranges.
//
// Arithmetic. Level 1 and the steps between it and the picture, both ways,
// run in unsigned 16-bit integers holding 256 times the channel value: the
// first step down is exact (every picture row is decimated along the row as
// it is read, then five such rows down the columns); with two levels or more
// the step from level 1 to level 2 and the two last steps up are rounded
// averages (errors below 1/100 of a level; see blur_kernels_impl.inc). The
// coarser levels are single-precision float on the 0...255 scale (errors near
// 1e-4 of a level); the output is rounded to nearest.
//
// Cost. The full-size picture is read once (first step down, straight into
// 16 bits) and written once (last step up, straight from 16 bits);
// everything else works on a quarter of the pixels or less.
// The Gaussian at the top has 2 ceil(kTruncation s) + 1 taps on a level
// 4^k times smaller than the picture, so the cost hardly depends on sigma.

namespace hg {
namespace {

// Smallest Gaussian left for the coarsest level, in its own pixels: the
// trade-off between aliasing (PSNR) and the number of taps (time); see above.
constexpr double kMinCoarseSigma = 1.0;
// The sampled Gaussian is cut at this many standard deviations (the cut mass,
// 4.7e-4, is spread back by normalising the taps).
constexpr double kTruncation = 3.5;

constexpr int kMaxRadius = 256;
constexpr int kMaxLevels = 12;

double coarseVariance(double sigma, int levels)
{
    const double scale = std::ldexp(1.0, 2 * levels);  // 4^levels
    return (sigma * sigma - 2.0 * (scale - 1.0) / 3.0) / scale;
}

int floorDiv2(int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }
int ceilDiv2(int v) { return -floorDiv2(-v); }

struct Range {
    int lo;
    int hi;
    [[nodiscard]] int size() const { return hi - lo + 1; }
    [[nodiscard]] Range coarser() const { return {floorDiv2(lo - 2), ceilDiv2(hi + 2)}; }
};

int paddedStride(int width) { return (4 * width + 7) / 8 * 8 + 8; }

std::vector<float> gaussianTaps(double sigma, int radius)
{
    std::vector<double> w(radius + 1);
    double sum = 0;
    for (int k = 0; k <= radius; ++k) {
        w[k] = std::exp(-0.5 * k * k / (sigma * sigma));
        sum += k == 0 ? w[k] : 2 * w[k];
    }
    std::vector<float> taps(radius + 1);
    for (int k = 0; k <= radius; ++k)
        taps[k] = static_cast<float>(w[k] / sum);
    return taps;
}

// The taps of the last step up for `outCount` output pixels over `inCount`
// picture pixels: output pixel X's centre falls on picture coordinate
// x = (X + 1/2) inCount / outCount - 1/2, which is u = x / 2 on level 1
// (whose pixel i is centred on picture pixel 2i). The quadratic B-spline
// there weighs the nearest level-1 pixel i and its neighbours, t = u - i in
// [-1/2, 1/2], by (1/2 - t)^2 / 2, 3/4 - t^2 and (1/2 + t)^2 / 2 (at t = 0 and
// t = 1/2 exactly the taps of [1 4 6 4 1] / 8 upsampling). Taps past the
// stored range [lo, hi] of level 1 repeat its edge.
std::vector<blur::ResampleTap> resampleTaps(int outCount, int inCount, int lo, int hi)
{
    std::vector<blur::ResampleTap> taps(static_cast<std::size_t>(outCount));
    const double step = static_cast<double>(inCount) / outCount;
    for (int X = 0; X < outCount; ++X) {
        const double u = ((X + 0.5) * step - 0.5) / 2;
        const int i = static_cast<int>(std::floor(u + 0.5));
        const double t = u - i;
        const double w[3] = {0.5 * (0.5 - t) * (0.5 - t), 0.75 - t * t, 0.5 * (0.5 + t) * (0.5 + t)};
        blur::ResampleTap& tap = taps[static_cast<std::size_t>(X)];
        tap.first = std::clamp(i - 1, lo, hi - 2);
        for (int k = 0; k < 3; ++k)
            tap.weights[std::clamp(i - 1 + k, lo, hi) - tap.first] += static_cast<float>(w[k]);
    }
    return taps;
}

// `src` (width × height) bilinearly onto `dst` (dstWidth × dstHeight), pixel
// centres onto pixel centres, edges repeated.
void resampleBilinear(const std::uint8_t* src, std::ptrdiff_t srcStride, int width, int height, std::uint8_t* dst,
                      std::ptrdiff_t dstStride, int dstWidth, int dstHeight)
{
    struct Tap {
        int lo;
        int hi;
        float f;
    };
    auto taps = [](int outCount, int inCount) {
        std::vector<Tap> t(static_cast<std::size_t>(outCount));
        for (int X = 0; X < outCount; ++X) {
            const double x = std::clamp((X + 0.5) * inCount / outCount - 0.5, 0.0, inCount - 1.0);
            const int lo = static_cast<int>(x);
            t[static_cast<std::size_t>(X)] = {lo, std::min(lo + 1, inCount - 1), static_cast<float>(x - lo)};
        }
        return t;
    };
    const std::vector<Tap> xs = taps(dstWidth, width);
    const std::vector<Tap> ys = taps(dstHeight, height);
    for (int Y = 0; Y < dstHeight; ++Y) {
        const Tap& ty = ys[static_cast<std::size_t>(Y)];
        const std::uint8_t* a = src + ty.lo * srcStride;
        const std::uint8_t* b = src + ty.hi * srcStride;
        std::uint8_t* out = dst + Y * dstStride;
        for (int X = 0; X < dstWidth; ++X) {
            const Tap& tx = xs[static_cast<std::size_t>(X)];
            for (int c = 0; c < 4; ++c) {
                const float top = a[4 * tx.lo + c] + tx.f * (a[4 * tx.hi + c] - a[4 * tx.lo + c]);
                const float bottom = b[4 * tx.lo + c] + tx.f * (b[4 * tx.hi + c] - b[4 * tx.lo + c]);
                out[4 * X + c] = static_cast<std::uint8_t>(top + ty.f * (bottom - top) + 0.5f);
            }
        }
    }
}

} // namespace

struct GaussianBlur::Buffers {
    std::vector<std::vector<float>> levels;  // index 0: the direct blur's float copy, else level j
    std::vector<float> rowPass;              // the Gaussian's horizontal result
    struct Worker {
        std::vector<float> floats;
        std::vector<std::uint16_t> shorts;
        blur::RowScratch rows;
    };
    std::vector<Worker> workers;
    std::vector<blur::ResampleTap> columns;  // a resized output's columns and rows
    std::vector<blur::ResampleTap> rows;
    std::vector<std::uint8_t> sameSize;      // a narrow blur before it is resized

    static float* sized(std::vector<float>& v, std::size_t n)
    {
        if (v.size() < n)
            v.assign(n, 0.0f);
        return v.data();
    }
    void prepareWorkers(int count, int maxPixels, int widePixels, int ringPixels)
    {
        if (static_cast<int>(workers.size()) < count)
            workers.resize(count);
        const std::size_t row = 4 * static_cast<std::size_t>(maxPixels) + 64;
        const std::size_t wide = 4 * static_cast<std::size_t>(widePixels) + 64;
        const std::size_t ring = 4 * static_cast<std::size_t>(ringPixels) + 64;
        for (Worker& w : workers) {
            float* f = sized(w.floats, 3 * row + 3 * wide + 8 * ring);
            if (w.shorts.size() < 3 * row)
                w.shorts.assign(3 * row, 0);
            w.rows.a = f;
            w.rows.even = f + row;
            w.rows.odd = f + 2 * row;
            for (int i = 0; i < 3; ++i)
                w.rows.upRows[i] = f + 3 * row + i * wide;
            w.rows.ring = f + 3 * row + 3 * wide;
            w.rows.ringStride = static_cast<int>(ring);
            w.rows.sum16 = w.shorts.data();
            w.rows.even16 = w.shorts.data() + row;
            w.rows.odd16 = w.shorts.data() + 2 * row;
        }
    }
};

GaussianBlur::GaussianBlur(RowSplitter* splitter, const blur::BlurKernels* kernels)
    : m_buffers(std::make_unique<Buffers>()), m_splitter(splitter), m_kernels(kernels ? kernels : &blur::blurKernels())
{
}

GaussianBlur::~GaussianBlur() = default;

GaussianBlur::Plan GaussianBlur::planFor(double sigma)
{
    if (!(sigma > 0))
        return {-1, 0, 0};
    int levels = 0;
    while (levels < kMaxLevels && coarseVariance(sigma, levels + 1) >= kMinCoarseSigma * kMinCoarseSigma)
        ++levels;
    const double coarseSigma = std::sqrt(coarseVariance(sigma, levels));
    const int radius = std::clamp(static_cast<int>(std::ceil(kTruncation * coarseSigma)), 1, kMaxRadius);
    return {levels, coarseSigma, radius};
}

void GaussianBlur::blur(const std::uint8_t* src, std::ptrdiff_t srcStride, std::uint8_t* dst,
                        std::ptrdiff_t dstStride, int width, int height, double sigma)
{
    blur(src, srcStride, width, height, dst, dstStride, width, height, sigma);
}

void GaussianBlur::blur(const std::uint8_t* src, std::ptrdiff_t srcStride, int width, int height, std::uint8_t* dst,
                        std::ptrdiff_t dstStride, int dstWidth, int dstHeight, double sigma)
{
    if (width <= 0 || height <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return;
    const Plan plan = planFor(sigma);
    const bool resized = dstWidth != width || dstHeight != height;
    if (resized && plan.levels < 2) {
        // Too narrow a blur for the pyramid's last step: blur at the
        // picture's size, then resample.
        std::vector<std::uint8_t>& same = m_buffers->sameSize;
        same.resize(4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        blur(src, srcStride, same.data(), 4 * static_cast<std::ptrdiff_t>(width), width, height, sigma);
        resampleBilinear(same.data(), 4 * static_cast<std::ptrdiff_t>(width), width, height, dst, dstStride,
                         dstWidth, dstHeight);
        return;
    }
    if (plan.levels < 0) {
        for (int y = 0; y < height; ++y)
            std::memcpy(dst + y * dstStride, src + y * srcStride, 4 * static_cast<std::size_t>(width));
        return;
    }
    const blur::BlurKernels& k = *m_kernels;
    const std::vector<float> taps = gaussianTaps(plan.coarseSigma, plan.radius);
    Buffers& b = *m_buffers;

    // Geometry of every level, and the planes over their stored ranges.
    std::vector<blur::Plane> planes(plan.levels + 1);
    Range xs{0, width - 1};
    Range ys{0, height - 1};
    int maxPixels = width;
    if (b.levels.size() < planes.size())
        b.levels.resize(planes.size());
    for (int j = 0; j <= plan.levels; ++j) {
        if (j > 0) {
            xs = xs.coarser();
            ys = ys.coarser();
        }
        blur::Plane& p = planes[j];
        p = {nullptr, xs.lo, ys.lo, xs.size(), ys.size(), paddedStride(xs.size())};
        maxPixels = std::max(maxPixels, p.width);
        // With two levels or more, level 1 lives only in scratch rows.
        const bool streamed = j == 1 && plan.levels >= 2;
        if (!streamed && (j > 0 || plan.levels == 0))
            p.data = Buffers::sized(b.levels[j], static_cast<std::size_t>(p.stride) * p.height);
    }
    blur::Plane top = planes[plan.levels];
    blur::Plane rowPass = top;
    rowPass.data = Buffers::sized(b.rowPass, static_cast<std::size_t>(top.stride) * top.height);

    if (resized) {
        b.columns = resampleTaps(dstWidth, width, planes[1].loX, planes[1].hiX());
        b.rows = resampleTaps(dstHeight, height, planes[1].loY, planes[1].hiY());
        maxPixels = std::max(maxPixels, dstWidth);
    }
    const int workers = m_splitter ? std::max(1, m_splitter->workerCount()) : 1;
    b.prepareWorkers(workers, maxPixels + 2 * plan.radius + 8, std::max(width, dstWidth) + 8,
                     plan.levels >= 1 ? planes[1].width : 0);
    auto forRows = [&](int rows, const std::function<void(int, int, blur::RowScratch&)>& body) {
        if (!m_splitter || workers == 1) {
            body(0, rows, b.workers[0].rows);
            return;
        }
        m_splitter->run(rows, [&](int begin, int end, int worker) { body(begin, end, b.workers[worker].rows); });
    };

    int firstStored = 1;
    if (plan.levels == 0) {
        forRows(height, [&](int r0, int r1, blur::RowScratch&) { k.bytesToPlane(src, srcStride, top, r0, r1); });
    } else if (plan.levels == 1) {
        forRows(planes[1].height, [&](int r0, int r1, blur::RowScratch& s) {
            k.downFromBytes(src, srcStride, width, height, planes[1], r0, r1, s);
        });
    } else {
        firstStored = 2;
        forRows(planes[2].height, [&](int r0, int r1, blur::RowScratch& s) {
            k.downTwiceFromBytes(src, srcStride, width, height, planes[1], planes[2], r0, r1, s);
        });
    }
    for (int j = firstStored; j < plan.levels; ++j)
        forRows(planes[j + 1].height,
                [&](int r0, int r1, blur::RowScratch& s) { k.down(planes[j], planes[j + 1], r0, r1, s); });

    forRows(top.height, [&](int r0, int r1, blur::RowScratch& s) {
        k.gaussRows(top, rowPass, taps.data(), plan.radius, r0, r1, s);
    });
    forRows(top.height, [&](int r0, int r1, blur::RowScratch&) {
        k.gaussColumns(rowPass, top, taps.data(), plan.radius, r0, r1);
    });

    if (plan.levels == 0) {
        forRows(height, [&](int r0, int r1, blur::RowScratch&) { k.planeToBytes(top, dst, dstStride, r0, r1); });
        return;
    }
    for (int j = plan.levels - 1; j >= firstStored; --j)
        forRows(planes[j].height,
                [&](int r0, int r1, blur::RowScratch& s) { k.up(planes[j + 1], planes[j], r0, r1, s); });
    if (resized)
        forRows(dstHeight, [&](int r0, int r1, blur::RowScratch& s) {
            k.upTwiceToSize(planes[2], planes[1], dst, dstStride, dstWidth, b.columns.data(), b.rows.data(), r0, r1,
                            s);
        });
    else if (firstStored == 2)
        forRows(height, [&](int r0, int r1, blur::RowScratch& s) {
            k.upTwiceToBytes(planes[2], planes[1], dst, dstStride, width, r0, r1, s);
        });
    else
        forRows(height, [&](int r0, int r1, blur::RowScratch& s) {
            k.upToBytes(planes[1], dst, dstStride, width, height, r0, r1, s);
        });
}

} // namespace hg
