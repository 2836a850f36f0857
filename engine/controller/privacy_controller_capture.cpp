// The capture pass: plan it (capture_plan.h), then capture each planned
// display in turn, blur it off the main thread, and hand it to the display's
// overlay if nothing changed meanwhile.
#include "engine/controller/privacy_controller.h"

#include <cstring>

#include "engine/controller/capture_plan.h"

namespace hg {
namespace {

// The overlay's picture type over the same pixels, in the same byte order.
RgbaImage overlayPicture(const CapturedImage& image, double scale)
{
    RgbaImage picture{image.width, image.height, static_cast<std::size_t>(image.bytesPerRow), image.pixels, scale};
    picture.order = image.order;
    return picture;
}

// Whether the focus window a picture was made for is still the focus window.
bool sameFocus(const std::optional<FocusedWindow>& now, const std::optional<FocusedWindow>& madeFor)
{
    return (!now && !madeFor) || (now && madeFor && now->windowID == madeFor->windowID);
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

bool PrivacyController::capturable(DisplayID display) const
{
    if (!m_displays.count(display))
        return false;
    if (m_store.pauseForFullScreenApps && isSwallowed(display))
        return false;
    return !m_ports.displayPower.isAsleep(display);
}

CapturePlan PrivacyController::planPass(const std::optional<FocusedWindow>& focus, bool revealable)
{
    CapturePlanInput input{.displays = {},
                           .focus = focus,
                           .revealFocus = revealable && !m_focusRectStaleSince,
                           .nowNanos = m_ports.clock.uptimeNanos()};
    for (const auto& [display, state] : m_displays)
        input.displays.push_back({.id = display,
                                  .bounds = displayBounds(display),
                                  .wasCovered = state.covered,
                                  .lastCaptureNanos = state.lastCaptureNanos,
                                  .skipped = !capturable(display)});
    CapturePlan plan = planCapturePass(input);
    for (auto& [display, state] : m_displays) {
        const bool covered = plan.covered.count(display) != 0;
        if (covered != state.covered)
            state.lastCaptureNanos.reset();  // entering or leaving the focus window's reach
        state.covered = covered;
    }
    return plan;
}

std::optional<ShownBlur> PrivacyController::shownBlur(DisplayID display) const
{
    const auto it = m_displays.find(display);
    if (it == m_displays.end() || !it->second.overlay->hasPicture())
        return std::nullopt;
    return it->second.shown;
}

double PrivacyController::pointsToServerPixels(DisplayID display) const
{
    // Where the desktop draws at twice the density (a backing scale of 2), a
    // point covers two of the window server's pixels.
    double scale = 1;
    for (const Screen& screen : m_ports.screens.screens())
        if (screen.displayNumber == display && screen.backingScaleFactor > 0)
            scale = screen.backingScaleFactor;
    return scale;
}

void PrivacyController::deliver(DisplayID display, const std::optional<FocusedWindow>& focus, BlurOutcome outcome)
{
    const auto it = m_displays.find(display);
    if (it == m_displays.end())
        return;
    DisplayState& state = it->second;
    m_lastPicturedFocus = focus;
    if (outcome.frame) {
        state.overlay->setPicture(overlayPicture(outcome.frame->image, outcome.frame->scale),
                                  outcome.frame->surroundLuminance);
        state.shown = ShownBlur{outcome.input, outcome.pixels};
        m_scheduler.wake();  // the screen changed: so may the focus window
    } else if (state.shown) {
        state.shown->pixels = outcome.pixels;  // the same picture, perhaps a new copy of it
    }
    state.lastPictureAt = now();
    m_stuckDisplaysLogged.erase(display);
    m_hasDeliveredFrameSinceBackendSwitch = true;
    state.lastCaptureNanos = m_ports.clock.uptimeNanos();
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
    const double radius = self->m_store.blurRadius;
    const bool applyBlur = self->m_store.blurEnabled;
    const CapturePlan plan = self->planPass(focus, self->focusIsRevealable());
    MainQueue& queue = self->m_ports.queue;
    BackgroundPool& pool = self->m_ports.pool;

    for (const CapturePlan::Step& step : plan.steps) {
        const DisplayID display = step.display;
        self = weak.get();
        if (!self || self->m_generation != generation || pass.isCancelled())
            co_return;
        if (!self->capturable(display))
            continue;  // gone to sleep or taken over while earlier displays were captured
        // A focus window that vanished meanwhile is neither left out nor cut out.
        const std::optional<WindowID> exclude = self->m_focusRectStaleSince ? std::nullopt : step.exclude;

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
        if (step.hole && !self->m_focusRectStaleSince && bounds)
            hole = holeInImage(*step.hole, self->m_focus ? std::optional(self->m_focus->rect) : std::nullopt,
                               *bounds, capture->scale, capture->image.height);
        // A still screen gives the same capture again and again: then the
        // picture on screen is already its blur, and blurring and uploading
        // it once more would only cost time.
        // A service that knows nothing changed answers the very pixels it
        // answered before, and then not even the digest is needed.
        const std::optional<ShownBlur> previous = self->shownBlur(display);
        // Blurred at the overlay's own pixel size, the picture goes up without
        // being scaled again.
        std::optional<Size> pictureSize;
        if (const auto shown = self->m_displays.find(display); shown != self->m_displays.end())
            pictureSize = shown->second.overlay->picturePixelSize();
        // The radius is in the desktop's points.
        const double serverRadius = radius * self->pointsToServerPixels(display);
        // The very pixels the shown picture came from, blurred the same way:
        // known here, without a trip to the pool.
        const bool samePixels = previous && capture->image.pixels
            && !previous->pixels.owner_before(capture->image.pixels)
            && !capture->image.pixels.owner_before(previous->pixels);
        if (samePixels && capture->image.isValid()) {
            const BlurInput input{previous->input.digest, hole, applyBlur, capture->scale, serverRadius, pictureSize};
            if (previous->input == input) {
                if (sameFocus(self->m_focus, focus))
                    self->deliver(display, focus, {std::nullopt, input, true, capture->image.pixels});
                continue;
            }
        }
        auto blur = [image = std::move(capture->image), hole, applyBlur, scale = capture->scale,
                     radius = serverRadius, previous, pictureSize, samePixels]() -> BlurOutcome {
            const std::uint64_t digest =
                samePixels ? previous->input.digest : image.isValid() ? digestOf(image) : 0;
            const BlurInput input{digest, hole, applyBlur, scale, radius, pictureSize};
            if (previous && previous->input == input && image.isValid())
                return {std::nullopt, input, true, image.pixels};
            return {BlurProcessor::blur(image, hole, applyBlur, scale, radius, pictureSize), input, false,
                    image.pixels};
        };
        BlurOutcome outcome = co_await onPool(pool, queue, std::move(blur));
        self = weak.get();
        if (!self || self->m_generation != generation || pass.isCancelled())
            co_return;
        // A picture made for another focus window would show a hole in the wrong place.
        if ((outcome.frame || outcome.unchanged) && sameFocus(self->m_focus, focus))
            self->deliver(display, focus, std::move(outcome));
    }
}

} // namespace hg
