// A generated screen-like RGBA8 picture for the blur benchmarks: a photographic
// wallpaper (smooth colour fields with fine grain), windows with flat panels,
// title bars, one-pixel borders, lines of small high-contrast glyphs, bright
// icons and a gradient panel. Deterministic for a given size and seed.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace hg::bench {

inline std::vector<std::uint8_t> makeScreenImage(int width, int height, unsigned seed = 7)
{
    std::vector<std::uint8_t> img(4 * static_cast<std::size_t>(width) * height);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto put = [&](int x, int y, double r, double g, double b) {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        std::uint8_t* p = &img[4 * (static_cast<std::size_t>(y) * width + x)];
        p[0] = static_cast<std::uint8_t>(std::clamp(r, 0.0, 255.0));
        p[1] = static_cast<std::uint8_t>(std::clamp(g, 0.0, 255.0));
        p[2] = static_cast<std::uint8_t>(std::clamp(b, 0.0, 255.0));
        p[3] = 255;
    };
    auto fill = [&](int x0, int y0, int w, int h, double r, double g, double b) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                put(x, y, r, g, b);
    };

    // Wallpaper: a few smooth waves plus per-pixel grain, like a photograph.
    double phase[6];
    for (double& p : phase)
        p = unit(rng) * 6.283;
    std::normal_distribution<double> grain(0.0, 9.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = x / 97.0, v = y / 131.0;
            const double r = 120 + 70 * std::sin(u + phase[0]) * std::cos(v * 0.7 + phase[1]) + grain(rng);
            const double g = 110 + 60 * std::sin(u * 1.7 + v + phase[2]) + grain(rng);
            const double b = 140 + 80 * std::cos(u * 0.6 - v * 1.3 + phase[3]) + grain(rng);
            put(x, y, r, g, b);
        }

    // Windows: panel, title bar, border, text lines, icons.
    std::uniform_int_distribution<int> glyphWidth(3, 7);
    for (int n = 0; n < 7; ++n) {
        const int w = static_cast<int>(width * (0.25 + 0.3 * unit(rng)));
        const int h = static_cast<int>(height * (0.25 + 0.35 * unit(rng)));
        const int x0 = static_cast<int>((width - w) * unit(rng));
        const int y0 = static_cast<int>((height - h) * unit(rng));
        const bool dark = n % 3 == 2;
        const double panel = dark ? 38 : 246;
        const double ink = dark ? 230 : 20;
        fill(x0, y0, w, h, panel, panel, panel + (dark ? 4 : 0));
        fill(x0, y0, w, 28, dark ? 60 : 222, dark ? 60 : 224, dark ? 66 : 228);
        for (int x = x0; x < x0 + w; ++x) {
            put(x, y0, 120, 120, 120);
            put(x, y0 + h - 1, 120, 120, 120);
        }
        for (int y = y0; y < y0 + h; ++y) {
            put(x0, y, 120, 120, 120);
            put(x0 + w - 1, y, 120, 120, 120);
        }
        for (int i = 0; i < 3; ++i)  // traffic-light buttons
            fill(x0 + 10 + 20 * i, y0 + 8, 12, 12, i == 0 ? 255 : (i == 1 ? 253 : 40),
                 i == 0 ? 95 : (i == 1 ? 188 : 200), i == 0 ? 86 : (i == 1 ? 46 : 64));
        // Text: lines of glyphs made of one-pixel strokes.
        for (int line = y0 + 44; line + 12 < y0 + h - 8; line += 18) {
            int x = x0 + 16;
            while (x < x0 + w - 24) {
                if (unit(rng) < 0.15) {
                    x += 6;  // a space
                    continue;
                }
                const int gw = glyphWidth(rng);
                for (int s = 0; s < 3; ++s) {
                    const int sx = x + static_cast<int>(unit(rng) * gw);
                    const int sy = line + static_cast<int>(unit(rng) * 6);
                    for (int y = sy; y < line + 11; ++y)
                        put(sx, y, ink, ink, ink);
                    for (int xx = x; xx < x + gw; ++xx)
                        put(xx, sy, ink, ink, ink);
                }
                x += gw + 2;
            }
        }
        for (int i = 0; i < 4; ++i)
            fill(x0 + w - 60, y0 + 40 + 40 * i, 32, 32, 255 * unit(rng), 255 * unit(rng), 255 * unit(rng));
    }
    // A gradient panel (sidebar) and a menu bar along the top.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 10; ++x)
            put(x, y, 30 + 200.0 * y / height, 60, 200 - 150.0 * y / height);
    fill(0, 0, width, 24, 236, 236, 236);
    return img;
}

// The exact blur: a sampled Gaussian cut at 6 sigma, double precision, edge
// pixels repeated outward (clamped edges). Rows are split across `threads`.
inline std::vector<double> referenceBlur(const std::vector<std::uint8_t>& src, int width, int height, double sigma,
                                         int threads = 2)
{
    const int radius = std::max(1, static_cast<int>(std::ceil(6 * sigma)));
    std::vector<double> taps(2 * radius + 1);
    double sum = 0;
    for (int k = -radius; k <= radius; ++k)
        sum += taps[k + radius] = std::exp(-0.5 * k * k / (sigma * sigma));
    for (double& t : taps)
        t /= sum;
    const std::size_t n = 4 * static_cast<std::size_t>(width);
    std::vector<double> rows(n * height), out(n * height);
    auto parallel = [&](auto&& body) {
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([&, t] {
                for (int y = height * t / threads; y < height * (t + 1) / threads; ++y)
                    body(y);
            });
        for (auto& t : pool)
            t.join();
    };
    parallel([&](int y) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) {
                double acc = 0;
                for (int k = -radius; k <= radius; ++k)
                    acc += taps[k + radius] * src[y * n + 4 * std::clamp(x + k, 0, width - 1) + c];
                rows[y * n + 4 * x + c] = acc;
            }
    });
    parallel([&](int y) {
        double* o = &out[y * n];
        for (int k = -radius; k <= radius; ++k) {
            const double* r = &rows[std::clamp(y + k, 0, height - 1) * n];
            const double t = taps[k + radius];
            for (std::size_t i = 0; i < n; ++i)
                o[i] += t * r[i];
        }
    });
    return out;
}

// PSNR in dB over the red, green and blue channels against the exact values.
inline double psnrRGB(const std::vector<std::uint8_t>& image, const std::vector<double>& exact)
{
    double se = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (i % 4 == 3)
            continue;
        const double d = image[i] - exact[i];
        se += d * d;
        ++count;
    }
    const double mse = se / static_cast<double>(count);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

} // namespace hg::bench
