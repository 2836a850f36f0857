#include "engine/overlay/blur_overlay.h"

#include <algorithm>
#include <cmath>

#include "engine/overlay/mask_geometry.h"

namespace hg {
namespace {

// Weight of the newest surround luminance in its running average: a halo that
// flips colour with every frame would flicker.
constexpr double kLuminanceSmoothing = 0.2;

OverlaySurfaceOptions surfaceOptions(bool usesVibrancy, bool excludedFromCapture, double blurRadius)
{
    return {.usesVibrancy = usesVibrancy,
            .material = materialForBlurRadius(blurRadius),
            .sharingType = excludedFromCapture ? SharingType::none : SharingType::readOnly};
}

// A window hole at least the screen's size less one point fills the screen.
bool fillsScreen(const Rect& r, double w, double h)
{
    return !r.isEmpty() && r.width() >= w - 1 && r.height() >= h - 1;
}

} // namespace

Material materialForBlurRadius(double blurRadius)
{
    if (blurRadius < 12)
        return Material::hudWindow;
    if (blurRadius < 25)
        return Material::underWindowBackground;
    if (blurRadius < 40)
        return Material::fullScreenUI;
    return Material::menu;
}

BlurOverlay::BlurOverlay(OverlaySurfaceFactory& factory, const Screen& screen, bool fadeIn, bool usesVibrancy,
                         bool excludedFromCapture, double blurRadius)
    : m_window(factory.makeSurface(screen, surfaceOptions(usesVibrancy, excludedFromCapture, blurRadius)))
    , m_edgeLayerCount(usesVibrancy ? 0 : OverlaySurface::kEdgeCount)
    , m_usesVibrancy(usesVibrancy)
    , m_screen(screen)
{
    m_window.setLevel(kNormalLevel);
    m_window.setAlpha(fadeIn ? 0 : 1);
    m_window.orderFront();
    if (!fadeIn)
        return;
    surface().beginTransaction(Animation::fadeIn);
    m_window.setAlpha(1);
    surface().commitTransaction();
}

void BlurOverlay::setPicture(const RgbaImage& image, std::optional<double> surroundLuminance)
{
    if (m_usesVibrancy || !image.isValid())
        return;
    m_pendingPicture = image;  // replaces a pending picture that never showed
    if (!surroundLuminance)
        return;
    m_surroundLuminance = m_surroundLuminance
        ? (1 - kLuminanceSmoothing) * *m_surroundLuminance + kLuminanceSmoothing * *surroundLuminance
        : *surroundLuminance;
}

void BlurOverlay::setTint(Color color, double amount)
{
    m_tintColor = color;
    m_tintAmount = std::isnan(amount) ? 0 : std::clamp(amount, 0.0, 1.0);
    m_tintLuminance = relativeLuminance(color.red, color.green, color.blue);
    attachTintLayer();
    applyTint();
    // The halo's shade depends on the brightness seen through the tint.
    if (m_hasPicture && m_committedReveal && m_committedReveal->window && !m_committedReveal->window->isEmpty())
        updateEdges({*m_committedReveal->window}, false);
}

void BlurOverlay::attachTintLayer()
{
    surface().attachTint();
}

void BlurOverlay::setMaterial(Material material)
{
    if (m_usesVibrancy)
        surface().setMaterial(material);
}

void BlurOverlay::applyTint()
{
    surface().beginTransaction(Animation::none);
    surface().setTint(m_tintColor, m_tintAmount);
    surface().commitTransaction();
}

void BlurOverlay::apply(const Reveal& reveal)
{
    const std::optional<Rect> committedWindow = m_committedReveal ? m_committedReveal->window : std::nullopt;
    const bool windowChanged = !(m_hasCommittedReveal && nearlyEqual(committedWindow, reveal.window));
    bool needsMask = true;
    if (m_hasCommittedReveal && nearlyEqual(m_committedReveal.value_or(kEmptyReveal), reveal)) {
        if (!m_pendingPicture)
            return;
        needsMask = false;
    }
    const std::optional<std::uint32_t> committedFocus =
        m_committedReveal ? m_committedReveal->focusWindowID : std::nullopt;
    const bool sameFocus = committedFocus == reveal.focusWindowID;
    const bool animated = !sameFocus || (windowChanged && isBigJump(committedWindow, reveal.window));

    surface().beginTransaction(Animation::none);  // everything below shows together
    const bool pictureWentUp = m_pendingPicture.has_value();
    if (pictureWentUp)
        putUpPendingPicture(sameFocus);
    if (needsMask)
        applyMask(reveal, animated);
    attachTintLayer();
    applyTint();
    if (pictureWentUp || windowChanged) {
        std::vector<Rect> rects;
        if (reveal.window && !reveal.window->isEmpty())
            rects.push_back(*reveal.window);
        updateEdges(rects, animated);
    }
    surface().commitTransaction();
}

void BlurOverlay::putUpPendingPicture(bool sameFocus)
{
    // After a focus switch the old picture fades into the new one; raised
    // overlays change pictures at once.
    const bool crossFade = m_inserted && !sameFocus && m_hasPicture;
    surface().beginTransaction(Animation::none);
    surface().setPicture(std::move(m_pendingPicture), crossFade ? Animation::crossFade : Animation::none);
    surface().commitTransaction();
    m_pendingPicture.reset();
    m_hasPicture = true;
}

void BlurOverlay::applyMask(const Reveal& reveal, bool animated)
{
    const double w = width();
    const double h = height();
    surface().beginTransaction(animated ? Animation::maskMove : Animation::none);
    const double radius = reveal.window && fillsScreen(*reveal.window, w, h) ? 0 : m_cornerRadius;
    Path mask;
    mask.addRect({0, 0, w, h});
    if (std::optional<Path> holes = holesPath(reveal, w, h, radius))
        mask.addPath(*holes);
    surface().setMask(mask, FillRule::evenOdd);
    m_committedReveal = reveal;
    m_hasCommittedReveal = true;
    surface().commitTransaction();
}

void BlurOverlay::clear()
{
    m_pendingPicture.reset();
    m_committedReveal.reset();
    m_surroundLuminance.reset();
    m_edgeIsDark.reset();
    m_hasCommittedReveal = false;
    m_hasPicture = false;
    surface().beginTransaction(Animation::none);
    surface().setPicture(std::nullopt, Animation::none);
    surface().setMask(Path{}, FillRule::evenOdd);
    for (int i = 0; i < m_edgeLayerCount; ++i)
        surface().setEdge(i, std::nullopt);
    surface().setTint(m_tintColor, 0);
    surface().commitTransaction();
}

} // namespace hg
