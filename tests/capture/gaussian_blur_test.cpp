#include "engine/capture/gaussian_blur.h"

#include "engine/capture/blur_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace hg {
namespace {

using Pixels = std::vector<std::uint8_t>;

// The exact blur: sampled Gaussian cut at 6 sigma, doubles, edges repeated.
std::vector<double> exactBlur(const Pixels& src, int w, int h, double sigma)
{
    const int r = std::max(1, static_cast<int>(std::ceil(6 * sigma)));
    std::vector<double> taps(2 * r + 1);
    double sum = 0;
    for (int k = -r; k <= r; ++k)
        sum += taps[k + r] = std::exp(-0.5 * k * k / (sigma * sigma));
    std::vector<double> rows(src.size()), out(src.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                double acc = 0;
                for (int k = -r; k <= r; ++k)
                    acc += taps[k + r] * src[4 * (y * w + std::clamp(x + k, 0, w - 1)) + c];
                rows[4 * (y * w + x) + c] = acc / sum;
            }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                double acc = 0;
                for (int k = -r; k <= r; ++k)
                    acc += taps[k + r] * rows[4 * (std::clamp(y + k, 0, h - 1) * w + x) + c];
                out[4 * (y * w + x) + c] = acc / sum;
            }
    return out;
}

// Flat blocks, sharp one-pixel lines and noise, opaque.
Pixels screenLike(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    Pixels p(4 * static_cast<std::size_t>(w) * h);
    const int blockR = byte(rng), blockG = byte(rng);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* px = &p[4 * (y * w + x)];
            const bool block = x > w / 3 && y < 2 * h / 3;
            const bool line = x % 7 == 0 || y % 11 == 3;
            px[0] = static_cast<std::uint8_t>(block ? blockR : (line ? 0 : byte(rng)));
            px[1] = static_cast<std::uint8_t>(block ? blockG : (line ? 255 : 128));
            px[2] = static_cast<std::uint8_t>(255 * x / std::max(1, w - 1));
            px[3] = 255;
        }
    return p;
}

Pixels blurred(const Pixels& src, int w, int h, double sigma, RowSplitter* splitter = nullptr,
              const blur::BlurKernels* kernels = nullptr)
{
    Pixels dst(src.size());
    GaussianBlur blur(splitter, kernels);
    blur.blur(src.data(), 4 * w, dst.data(), 4 * w, w, h, sigma);
    return dst;
}

// Both builds of the inner loops (the baseline one and the fastest this
// processor runs) against the exact blur.
TEST(GaussianBlurTest, MatchesTheExactBlurWithClampedEdges)
{
    for (const blur::BlurKernels* kernels : {&blur::baselineBlurKernels(), &blur::blurKernels()})
    for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {5, 4}, {37, 23}, {130, 90}, {257, 129}})
        for (double sigma : {0.6, 2.0, 6.25, 13.0, 40.0}) {
            SCOPED_TRACE(::testing::Message() << kernels->name << " " << w << "x" << h << " sigma " << sigma);
            const Pixels src = screenLike(w, h, static_cast<unsigned>(w * 31 + h));
            const Pixels out = blurred(src, w, h, sigma, nullptr, kernels);
            const std::vector<double> exact = exactBlur(src, w, h, sigma);
            double squared = 0, worst = 0;
            for (std::size_t i = 0; i < src.size(); ++i) {
                const double d = std::abs(out[i] - exact[i]);
                worst = std::max(worst, d);
                if (i % 4 != 3)
                    squared += d * d;
            }
            const double mse = squared / (0.75 * static_cast<double>(src.size()));
            EXPECT_GT(10 * std::log10(255.0 * 255 / std::max(mse, 1e-12)), 50.0);
            EXPECT_LE(worst, 2.5);
        }
}

// Both edges repeat their own pixels: the blur of a mirrored picture is the
// mirrored blur, for widths and heights around every step of the inner loops
// (odd, not divisible by the decimation, one pixel), with a bright last column
// and row that a read past the edge would miss.
TEST(GaussianBlurTest, MirroringThePictureMirrorsTheBlur)
{
    auto mirrored = [](const Pixels& p, int w, int h, bool across) {
        Pixels m(p.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c)
                    m[4 * (y * w + x) + c] =
                        p[4 * ((across ? y : h - 1 - y) * w + (across ? w - 1 - x : x)) + c];
        return m;
    };
    for (const blur::BlurKernels* kernels : {&blur::baselineBlurKernels(), &blur::blurKernels()})
        for (auto [w, h] : {std::pair{1, 40}, {40, 1}, {2, 2}, {19, 21}, {33, 34}, {36, 7}, {41, 45}, {62, 3}})
            for (double sigma : {3.0, 6.25, 13.0}) {
                SCOPED_TRACE(::testing::Message() << kernels->name << " " << w << "x" << h << " sigma " << sigma);
                Pixels src = screenLike(w, h, static_cast<unsigned>(w + 7 * h));
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if (x == w - 1 || y == h - 1)
                            for (int c = 0; c < 3; ++c)
                                src[4 * (y * w + x) + c] = 255;
                const Pixels out = blurred(src, w, h, sigma, nullptr, kernels);
                for (bool across : {true, false}) {
                    const Pixels back = mirrored(blurred(mirrored(src, w, h, across), w, h, sigma, nullptr, kernels),
                                                 w, h, across);
                    int worst = 0;
                    for (std::size_t i = 0; i < out.size(); ++i)
                        worst = std::max(worst, std::abs(out[i] - back[i]));
                    EXPECT_LE(worst, 1) << (across ? "left-right" : "top-bottom");
                }
            }
}

// Written at another size, the blur is the exact blur of the picture sampled
// where each output pixel's centre falls (interpolated between the exact
// blur's pixels), larger and smaller, odd sizes, both builds, both the
// pyramid's own last step and the narrow blur resampled afterwards.
TEST(GaussianBlurTest, AtAnotherSizeItIsTheExactBlurSampledWhereEachPixelFalls)
{
    struct Case {
        int w, h, outW, outH;
    };
    for (const blur::BlurKernels* kernels : {&blur::baselineBlurKernels(), &blur::blurKernels()})
        for (const Case& c : {Case{160, 90, 192, 108}, Case{101, 67, 173, 80}, Case{120, 80, 77, 51},
                              Case{33, 20, 34, 21}, Case{7, 5, 19, 3}})
            for (double sigma : {2.0, 6.25, 13.0}) {
                SCOPED_TRACE(::testing::Message() << kernels->name << " " << c.w << "x" << c.h << " to " << c.outW
                                                  << "x" << c.outH << " sigma " << sigma);
                const Pixels src = screenLike(c.w, c.h, static_cast<unsigned>(c.w + c.h));
                const std::vector<double> exact = exactBlur(src, c.w, c.h, sigma);
                Pixels out(4 * static_cast<std::size_t>(c.outW) * c.outH);
                GaussianBlur blur(nullptr, kernels);
                blur.blur(src.data(), 4 * c.w, c.w, c.h, out.data(), 4 * c.outW, c.outW, c.outH, sigma);
                auto at = [&](double x, double y, int ch) {
                    x = std::clamp(x, 0.0, c.w - 1.0);
                    y = std::clamp(y, 0.0, c.h - 1.0);
                    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
                    const int x1 = std::min(x0 + 1, c.w - 1), y1 = std::min(y0 + 1, c.h - 1);
                    const double fx = x - x0, fy = y - y0;
                    auto e = [&](int xx, int yy) { return exact[4 * (yy * c.w + xx) + ch]; };
                    return (1 - fy) * ((1 - fx) * e(x0, y0) + fx * e(x1, y0))
                        + fy * ((1 - fx) * e(x0, y1) + fx * e(x1, y1));
                };
                double squared = 0;
                for (int Y = 0; Y < c.outH; ++Y)
                    for (int X = 0; X < c.outW; ++X)
                        for (int ch = 0; ch < 3; ++ch) {
                            const double x = (X + 0.5) * c.w / c.outW - 0.5, y = (Y + 0.5) * c.h / c.outH - 0.5;
                            const double d = out[4 * (Y * c.outW + X) + ch] - at(x, y, ch);
                            squared += d * d;
                        }
                const double mse = squared / (3.0 * c.outW * c.outH);
                EXPECT_GT(10 * std::log10(255.0 * 255 / std::max(mse, 1e-12)), 40.0);
            }
}

TEST(GaussianBlurTest, AFlatPictureStaysFlatAndOpaque)
{
    const int w = 203, h = 77;
    Pixels src(4 * w * h);
    for (std::size_t i = 0; i < src.size(); i += 4) {
        src[i] = 37;
        src[i + 1] = 200;
        src[i + 2] = 129;
        src[i + 3] = 255;
    }
    for (double sigma : {0.0, 1.5, 6.25, 25.0, 90.0}) {
        EXPECT_EQ(blurred(src, w, h, sigma), src) << sigma;
        // And at other sizes, one pixel included.
        for (auto [outW, outH] : {std::pair{250, 91}, {150, 40}, {1, 1}}) {
            Pixels out(4 * static_cast<std::size_t>(outW) * outH);
            GaussianBlur blur;
            blur.blur(src.data(), 4 * w, w, h, out.data(), 4 * outW, outW, outH, sigma);
            bool flat = true;
            for (std::size_t i = 0; i < out.size(); ++i)
                flat = flat && out[i] == src[i % 4];
            EXPECT_TRUE(flat) << sigma << " " << outW << "x" << outH;
        }
    }
}

TEST(GaussianBlurTest, ABrightPixelSpreadsSymmetricallyAroundItself)
{
    const int n = 61, c = 30;
    Pixels src(4 * n * n, 0);
    for (std::size_t i = 3; i < src.size(); i += 4)
        src[i] = 255;
    for (int k = 0; k < 3; ++k)
        src[4 * (c * n + c) + k] = 255;
    for (double sigma : {1.0, 3.0, 6.25}) {
        SCOPED_TRACE(sigma);
        const Pixels out = blurred(src, n, n, sigma);
        double mass = 0, mx = 0, my = 0;
        int peak = 0;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const int v = out[4 * (y * n + x)];
                EXPECT_NEAR(v, out[4 * (y * n + (n - 1 - x))], 1);
                EXPECT_NEAR(v, out[4 * ((n - 1 - y) * n + x)], 1);
                EXPECT_NEAR(v, out[4 * (x * n + y)], 1);
                EXPECT_EQ(out[4 * (y * n + x) + 3], 255);
                peak = std::max(peak, v);
                mass += v;
                mx += v * x;
                my += v * y;
            }
        ASSERT_GT(mass, 0);
        EXPECT_NEAR(mx / mass, c, 0.01);
        EXPECT_NEAR(my / mass, c, 0.01);
        EXPECT_EQ(peak, out[4 * (c * n + c)]);
        EXPECT_LT(peak, 255);
    }
}

// Runs the ranges backwards, as if on three threads.
class BackwardsSplitter final : public RowSplitter {
public:
    int workerCount() const override { return 3; }
    void run(int count, const std::function<void(int, int, int)>& body) override
    {
        for (int worker = 2; worker >= 0; --worker)
            body(count * worker / 3, count * (worker + 1) / 3, worker);
    }
};

TEST(GaussianBlurTest, SplittingRowsChangesNothing)
{
    const int w = 301, h = 187;
    const Pixels src = screenLike(w, h, 5);
    BackwardsSplitter splitter;
    for (double sigma : {1.5, 6.25, 30.0})
        EXPECT_EQ(blurred(src, w, h, sigma, &splitter), blurred(src, w, h, sigma)) << sigma;
}

} // namespace
} // namespace hg
