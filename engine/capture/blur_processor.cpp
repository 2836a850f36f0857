#include "engine/capture/blur_processor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/color.h"
#include "engine/capture/gaussian_blur.h"

namespace hg {
namespace {

constexpr std::size_t kMaxContexts = 4;
constexpr std::size_t kMaxIdleBlurs = 4;
constexpr std::size_t kMaxIdleBuffers = 4;
// The band is measured at least this wide, in points.
constexpr double kMinBandPoints = 24;
// An average whose alpha is not above this is almost all hole.
constexpr double kMinAlpha = 0.02;

struct ContextEntry {
    ColorSpace space;
    std::shared_ptr<BlurContext> context;
};

struct ContextCache {
    std::mutex mutex;
    std::vector<ContextEntry> entries;
};

ContextCache& contextCache()
{
    static ContextCache cache;
    return cache;
}

// Adds the premultiplied channels of the pixels [x0, x1) of one row.
void addRow(const std::uint8_t* row, int x0, int x1, std::array<std::uint64_t, 4>& sum)
{
    std::uint64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (const std::uint8_t* p = row + 4 * x0; p < row + 4 * x1; p += 4) {
        s0 += p[0];
        s1 += p[1];
        s2 += p[2];
        s3 += p[3];
    }
    sum[0] += s0;
    sum[1] += s1;
    sum[2] += s2;
    sum[3] += s3;
}

} // namespace

BlurContext::BlurContext(ColorSpace space) : m_space(std::move(space)) {}

BlurContext::~BlurContext() = default;

std::unique_ptr<GaussianBlur> BlurContext::takeBlur()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            auto blur = std::move(m_idle.back());
            m_idle.pop_back();
            return blur;
        }
    }
    return std::make_unique<GaussianBlur>();
}

void BlurContext::recycle(std::unique_ptr<GaussianBlur> blur)
{
    std::lock_guard lock(m_mutex);
    if (m_idle.size() < kMaxIdleBlurs)
        m_idle.push_back(std::move(blur));
}

std::unique_ptr<std::vector<std::uint8_t>> BlurContext::takeBuffer(std::size_t bytes)
{
    std::unique_ptr<std::vector<std::uint8_t>> buffer;
    {
        std::lock_guard lock(m_mutex);
        auto fit = std::find_if(m_buffers.begin(), m_buffers.end(), [bytes](const auto& b) { return b->size() == bytes; });
        if (fit != m_buffers.end()) {
            buffer = std::move(*fit);
            m_buffers.erase(fit);
        }
    }
    return buffer ? std::move(buffer) : std::make_unique<std::vector<std::uint8_t>>(bytes);
}

std::shared_ptr<const std::vector<std::uint8_t>> BlurContext::share(std::unique_ptr<std::vector<std::uint8_t>> buffer)
{
    return {buffer.release(), [weak = weak_from_this()](const std::vector<std::uint8_t>* used) {
                std::unique_ptr<std::vector<std::uint8_t>> owned(const_cast<std::vector<std::uint8_t>*>(used));
                const std::shared_ptr<BlurContext> self = weak.lock();
                if (!self)
                    return;
                std::lock_guard lock(self->m_mutex);
                if (self->m_buffers.size() < kMaxIdleBuffers)
                    self->m_buffers.push_back(std::move(owned));
            }};
}

std::shared_ptr<BlurContext> BlurProcessor::context(const ColorSpace& space)
{
    ContextCache& cache = contextCache();
    {
        std::lock_guard lock(cache.mutex);
        for (const ContextEntry& entry : cache.entries)
            if (entry.space == space)
                return entry.context;
    }
    // Made outside the lock: two threads missing at once may both add one,
    // which is harmless; the cache stays bounded.
    auto made = std::make_shared<BlurContext>(space);
    std::lock_guard lock(cache.mutex);
    if (cache.entries.size() >= kMaxContexts)
        cache.entries.erase(cache.entries.begin());
    cache.entries.push_back({space, made});
    return made;
}

std::size_t BlurProcessor::cachedContextCount()
{
    ContextCache& cache = contextCache();
    std::lock_guard lock(cache.mutex);
    return cache.entries.size();
}

double BlurProcessor::bandWidth(double scale, double radius)
{
    return scale * std::max(radius, kMinBandPoints);
}

std::optional<BlurredFrame> BlurProcessor::blur(const CapturedImage& image, std::optional<Rect> hole, bool applyBlur,
                                                double scale, double radius, std::optional<Size> outputSize)
{
    if (!image.isValid())
        return std::nullopt;
    const double sigma = scale * radius;
    if (applyBlur && !std::isfinite(sigma))
        return std::nullopt;
    const ColorSpace space = image.colorSpace.value_or(ColorSpace::sRGB());
    const std::shared_ptr<BlurContext> context = BlurProcessor::context(space);

    BlurredFrame frame;
    frame.scale = scale;
    if (hole)
        frame.surroundLuminance = surroundLuminance(image, *hole, scale, radius);

    int outWidth = image.width, outHeight = image.height;
    if (applyBlur && outputSize) {
        const auto usable = [](double side) { return side >= 1 && side <= kMaxOutputSide && side == std::floor(side); };
        if (usable(outputSize->width) && usable(outputSize->height)) {
            outWidth = static_cast<int>(outputSize->width);
            outHeight = static_cast<int>(outputSize->height);
            frame.scale = scale * outWidth / image.width;
        }
    }
    const std::ptrdiff_t outStride = 4 * static_cast<std::ptrdiff_t>(outWidth);
    auto out = context->takeBuffer(static_cast<std::size_t>(outStride) * outHeight);
    if (applyBlur) {
        std::unique_ptr<GaussianBlur> gaussian = context->takeBlur();
        gaussian->blur(image.row(0), image.bytesPerRow, image.width, image.height, out->data(), outStride, outWidth,
                       outHeight, sigma);
        context->recycle(std::move(gaussian));
    } else {
        for (int y = 0; y < image.height; ++y)
            std::memcpy(out->data() + y * outStride, image.row(y), static_cast<std::size_t>(outStride));
    }
    frame.image.width = outWidth;
    frame.image.height = outHeight;
    frame.image.bytesPerRow = outStride;
    frame.image.order = image.order;
    frame.image.colorSpace = space;
    frame.image.pixels = context->share(std::move(out));
    return frame;
}

std::optional<double> BlurProcessor::surroundLuminance(const CapturedImage& image, const Rect& hole, double scale,
                                                       double radius)
{
    const Rect extent(0, 0, image.width, image.height);
    const Rect inside = hole.standardized().integral().intersected(extent);
    if (inside.isNull() || inside.width() < 1 || inside.height() < 1)
        return std::nullopt;
    const double band = bandWidth(scale, radius);
    if (!std::isfinite(band))
        return std::nullopt;
    // The band's outer edge is taken outward to whole pixels.
    const Rect area = inside.insetBy(-band, -band).integral().intersected(extent);
    if (area.isNull() || area.width() < 1 || area.height() < 1)
        return std::nullopt;
    const std::optional<Color> average = averageColor(image, area, inside);
    if (!average)
        return std::nullopt;
    return luminance(*average);
}

std::optional<BlurProcessor::Color> BlurProcessor::averageColor(const CapturedImage& image, const Rect& area,
                                                                const Rect& hole)
{
    const int ax0 = static_cast<int>(area.minX()), ax1 = static_cast<int>(area.maxX());
    const int ay0 = static_cast<int>(area.minY()), ay1 = static_cast<int>(area.maxY());
    const int hx0 = static_cast<int>(hole.minX()), hx1 = static_cast<int>(hole.maxX());
    const int hy0 = static_cast<int>(hole.minY()), hy1 = static_cast<int>(hole.maxY());
    std::array<std::uint64_t, 4> sum{};
    for (int y = ay0; y < ay1; ++y) {
        const std::uint8_t* row = image.row(image.height - 1 - y);  // y counts up from the bottom
        if (y >= hy0 && y < hy1) {
            addRow(row, ax0, std::max(ax0, hx0), sum);
            addRow(row, std::min(ax1, hx1), ax1, sum);
        } else {
            addRow(row, ax0, ax1, sum);
        }
    }
    const double count = 255.0 * (ax1 - ax0) * static_cast<double>(ay1 - ay0);
    const double alpha = sum[3] / count;
    if (!(alpha > kMinAlpha))
        return std::nullopt;
    const bool bgra = image.order == PixelOrder::bgra;
    auto unpremultiplied = [&](std::uint64_t s) {
        const double v = s / count / alpha;
        return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0;
    };
    return Color{unpremultiplied(sum[bgra ? 2 : 0]), unpremultiplied(sum[1]), unpremultiplied(sum[bgra ? 0 : 2])};
}

double BlurProcessor::luminance(const Color& color)
{
    return relativeLuminance(color.red, color.green, color.blue);
}

} // namespace hg
