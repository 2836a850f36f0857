// The capture pass: capture each display that needs a new picture (the focus
// displays first) without the focus window, blur it off the main thread, and
// hand it to the display's overlay if nothing changed meanwhile.
#include "engine/controller/privacy_controller.h"

#include <cstring>

namespace hg {
namespace {

constexpr double kCoverOverlap = 2;        // points each way to become covered
constexpr double kStayCoveredOverlap = 0.5;  // points each way to stay covered
constexpr std::uint64_t kOtherDisplayIntervalNanos = 65'999'999;

// The overlay's picture type over the same pixels, in the same byte order.
RgbaImage overlayPicture(const CapturedImage& image, double scale)
{
    RgbaImage picture{image.width, image.height, static_cast<std::size_t>(image.bytesPerRow), image.pixels, scale};
    picture.order = image.order;
    return picture;
}

bool overlaps(const Rect& a, const Rect& b, double minimum)
{
    const Rect common = a.intersected(b);
    return !common.isNull() && common.width() >= minimum && common.height() >= minimum;
}

// A rectangle in window-server points as pixels of a capture of `display`
// (origin at the image's bottom left).
Rect toImagePixels(const Rect& r, const Rect& display, double scale, double imageHeight)
{
    return {(r.minX() - display.minX()) * scale, imageHeight - (r.maxY() - display.minY()) * scale,
            r.width() * scale, r.height() * scale};
}

} // namespace

std::uint64_t PrivacyController::digestOf(const CapturedImage& image)
{
    // Four independent multiply-xor lanes keep the multiplier busy; a 64-bit
    // result makes two different screens digesting alike vanishingly rare.
    constexpr std::uint64_t kPrime = 0x9E3779B97F4A7C15ull;
    std::uint64_t lanes[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                              0x082EFA98EC4E6C89ull};
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(image.width);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.row(y);
        std::size_t i = 0;
        for (; i + 32 <= rowBytes; i += 32)
            for (int k = 0; k < 4; ++k) {
                std::uint64_t word;
                std::memcpy(&word, row + i + 8 * k, 8);
                lanes[k] = (lanes[k] ^ word) * kPrime;
            }
        for (; i < rowBytes; ++i)
            lanes[0] = (lanes[0] ^ row[i]) * kPrime;
    }
    std::uint64_t digest = static_cast<std::uint64_t>(image.width) << 32 ^ static_cast<std::uint64_t>(image.height)
        ^ static_cast<std::uint64_t>(image.order) << 62;
    for (std::uint64_t lane : lanes)
        digest = (digest ^ lane ^ lane >> 29) * kPrime;
    return digest;
}

std::set<PrivacyController::DisplayID> PrivacyController::coveredDisplays(const std::optional<FocusedWindow>& focus)
{
    std::set<DisplayID> covered;
    if (focus) {
        for (const auto& [display, overlay] : m_overlays) {
            const auto bounds = displayBounds(display);
            if (!bounds)
                continue;
            if (overlaps(focus->rect, *bounds, kCoverOverlap)
                || (m_lastCoveredDisplays.count(display) && overlaps(focus->rect, *bounds, kStayCoveredOverlap)))
                covered.insert(display);
        }
    }
    if (covered != m_lastCoveredDisplays) {
        // Displays entering or leaving the focus window's reach are captured at once.
        for (DisplayID d : covered)
            if (!m_lastCoveredDisplays.count(d))
                m_scheduler.lastCaptureNanos().erase(d);
        for (DisplayID d : m_lastCoveredDisplays)
            if (!covered.count(d))
                m_scheduler.lastCaptureNanos().erase(d);
        m_lastCoveredDisplays = covered;
    }
    return covered;
}

void PrivacyController::runCapturePass(CapturePass pass)
{
    if (!m_enabled || m_powerPaused || m_updatePaused)
        return;  // the pass ends when `pass` goes out of scope
    ++m_captureAttemptsSinceBackendSwitch;
    capturePass(m_weak.get(), std::move(pass));
}

Async PrivacyController::capturePass(WeakPtr<PrivacyController> weak, CapturePass pass)
{
    auto* self = weak.get();
    const std::uint64_t generation = self->m_generation;
    const std::optional<FocusedWindow> focus = self->m_focus;
    const bool revealable = self->focusIsRevealable();
    const double radius = self->m_store.blurRadius;
    const bool applyBlur = self->m_store.blurEnabled;
    const std::set<DisplayID> covered = self->coveredDisplays(focus);
    const std::uint64_t startNanos = self->m_ports.clock.uptimeNanos();
    MainQueue& queue = self->m_ports.queue;
    BackgroundPool& pool = self->m_ports.pool;

    // The displays the focus window touches first, each group in display order.
    std::vector<DisplayID> order, others;
    for (const auto& [display, overlay] : self->m_overlays) {
        const auto bounds = self->displayBounds(display);
        (focus && bounds && overlaps(focus->rect, *bounds, kCoverOverlap) ? order : others).push_back(display);
    }
    order.insert(order.end(), others.begin(), others.end());

    for (const DisplayID display : order) {
        self = weak.get();
        if (!self || self->m_generation != generation || pass.isCancelled())
            co_return;
        if (!self->m_overlays.count(display))
            continue;
        if (self->m_store.pauseForFullScreenApps && self->isSwallowed(display))
            continue;
        if (self->m_ports.displayPower.isAsleep(display))
            continue;
        std::optional<WindowID> exclude;
        if (covered.count(display)) {
            if (revealable && !self->m_focusRectIsStale && focus)
                exclude = focus->windowID;
        } else {
            const auto& times = self->m_scheduler.lastCaptureNanos();
            const auto it = times.find(display);
            if (it != times.end() && startNanos - it->second <= kOtherDisplayIntervalNanos)
                continue;
        }

        // Lambdas are named before they are awaited: g++ 12 destroys the
        // captures of a lambda written inside a co_await expression too early.
        ScreenCapturer& capturer = self->m_capturer;
        std::function<void(std::function<void(std::optional<CaptureResult>)>)> startCapture =
            [&capturer, display, exclude](std::function<void(std::optional<CaptureResult>)> done) {
                // The capturer answers on the main queue, and not at all once it
                // is gone, which only happens together with this controller.
                capturer.capture(display, Exclusion{exclude}, std::move(done));
            };
        std::optional<CaptureResult> capture =
            co_await onCompletion<std::optional<CaptureResult>>(queue, std::move(startCapture));
        self = weak.get();
        if (!self || self->m_generation != generation || pass.isCancelled())
            co_return;
        if (!capture)
            continue;

        std::optional<Rect> hole;
        const auto bounds = self->displayBounds(display);
        if (revealable && focus && !self->m_focusRectIsStale && bounds && focus->rect.intersects(*bounds)) {
            const double h = capture->image.height;
            hole = toImagePixels(focus->rect, *bounds, capture->scale, h);
            if (self->m_focus && self->m_focus->rect.intersects(*bounds))
                hole = hole->united(toImagePixels(self->m_focus->rect, *bounds, capture->scale, h));
        }
        // A still screen gives the same capture again and again: then the
        // picture on screen is already its blur, and blurring and uploading
        // it once more would only cost time.
        // A service that knows nothing changed answers the very pixels it
        // answered before, and then not even the digest is needed.
        std::optional<ShownBlur> previous;
        if (const auto it = self->m_previousBlurInputs.find(display); it != self->m_previousBlurInputs.end()) {
            const auto shown = self->m_overlays.find(display);
            if (shown != self->m_overlays.end() && shown->second->hasPicture())
                previous = it->second;
        }
        // The radius is in the desktop's points: where the desktop draws at
        // twice the density (a backing scale of 2), a point covers two of the
        // window server's pixels.
        double pointsToServer = 1;
        for (const Screen& screen : self->m_ports.screens.screens())
            if (screen.displayNumber == display && screen.backingScaleFactor > 0)
                pointsToServer = screen.backingScaleFactor;
        // Blurred at the overlay's own pixel size, the picture goes up without
        // being scaled again.
        std::optional<Size> pictureSize;
        if (const auto shown = self->m_overlays.find(display); shown != self->m_overlays.end())
            pictureSize = shown->second->picturePixelSize();
        auto blur = [image = std::move(capture->image), hole, applyBlur, scale = capture->scale,
                     radius = radius * pointsToServer, previous, pictureSize]() -> BlurOutcome {
            const bool samePixels = previous && image.pixels && !previous->pixels.owner_before(image.pixels)
                && !image.pixels.owner_before(previous->pixels);
            const std::uint64_t digest =
                samePixels ? previous->input.digest : image.isValid() ? digestOf(image) : 0;
            const BlurInput input{digest, hole, applyBlur, scale, radius};
            if (previous && previous->input == input && image.isValid())
                return {std::nullopt, input, true, image.pixels};
            return {BlurProcessor::blur(image, hole, applyBlur, scale, radius, pictureSize), input, false,
                    image.pixels};
        };
        BlurOutcome outcome = co_await onPool(pool, queue, std::move(blur));
        self = weak.get();
        if (!self || self->m_generation != generation || pass.isCancelled())
            co_return;
        const bool sameFocus = (!focus && !self->m_focus)
            || (focus && self->m_focus && focus->windowID == self->m_focus->windowID);
        if ((!outcome.frame && !outcome.unchanged) || !sameFocus)
            continue;
        const auto overlay = self->m_overlays.find(display);
        if (overlay == self->m_overlays.end())
            continue;
        self->m_lastPicturedFocus = focus;
        if (outcome.frame) {
            overlay->second->setPicture(overlayPicture(outcome.frame->image, outcome.frame->scale),
                                        outcome.frame->surroundLuminance);
            self->m_previousBlurInputs[display] = {outcome.input, outcome.pixels};
        } else if (const auto shown = self->m_previousBlurInputs.find(display);
                   shown != self->m_previousBlurInputs.end()) {
            shown->second.pixels = outcome.pixels;  // the same picture, perhaps a new copy of it
        }
        self->m_lastPictureAt[display] = self->now();
        self->m_stuckDisplaysLogged.erase(display);
        self->m_hasDeliveredFrameSinceBackendSwitch = true;
        self->m_scheduler.lastCaptureNanos()[display] = self->m_ports.clock.uptimeNanos();
    }
}

} // namespace hg
