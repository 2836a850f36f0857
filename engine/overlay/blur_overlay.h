// The blur overlay of one screen: a window the size of the screen whose
// content is the latest blurred picture of that screen (capture mode) or a
// system material (vibrancy mode, when screen capture is not permitted), with
// holes cut where a `Reveal` says the screen must show through, a tint over
// the blur and a soft halo around the window hole.
//
// A new picture never shows by itself: it waits as pending until the next
// `apply`, which puts it up together with that frame's mask, so a hole never
// shows the background of another frame.
//
//     BlurOverlay overlay(factory, screen, /*fadeIn*/ true, /*usesVibrancy*/ false,
//                         /*excludedFromCapture*/ true, /*blurRadius*/ 20);
//     overlay.setTint(tint, 0.2);
//     overlay.setPicture(frame.image, frame.surroundLuminance);
//     overlay.apply(reveal);            // every frame tick
//
// Created, fed, ordered and removed by the privacy controller (removal: order
// the window out, `clear`, close the window). Main thread only.
#pragma once

#include <optional>

#include "base/color.h"
#include "engine/overlay/overlay_window.h"
#include "engine/overlay/reveal.h"

namespace hg {

// The system material that stands in for a blur of `blurRadius` points.
[[nodiscard]] Material materialForBlurRadius(double blurRadius);

class BlurOverlay {
public:
    // Halo ring opacities, innermost first.
    static constexpr double kEdgeOpacities[OverlaySurface::kEdgeCount] = {0.15, 0.10, 0.067, 0.045, 0.03, 0.02};
    static constexpr int kNormalLevel = 0;
    static constexpr int kRaisedLevel = 15;

    BlurOverlay(OverlaySurfaceFactory& factory, const Screen& screen, bool fadeIn, bool usesVibrancy,
                bool excludedFromCapture, double blurRadius);
    BlurOverlay(const BlurOverlay&) = delete;
    BlurOverlay& operator=(const BlurOverlay&) = delete;

    // A blurred picture of the screen and the luminance around the hole (0...1,
    // absent when unknown). Ignored in vibrancy mode.
    void setPicture(const RgbaImage& image, std::optional<double> surroundLuminance);
    // The tint over the blur; `amount` is its opacity, clamped to 0...1.
    void setTint(Color color, double amount);
    // Makes the mask (and shows a pending picture) for one frame.
    void apply(const Reveal& reveal);
    // Drops picture, mask and halo; the window stays where it is.
    void clear();
    // Vibrancy mode: the material for a new blur radius (the controller then
    // calls `attachTintLayer`).
    void setMaterial(Material material);
    void attachTintLayer();

    [[nodiscard]] OverlayWindow& window() { return m_window; }
    // The picture size that shows without scaling, when it matters.
    [[nodiscard]] std::optional<Size> picturePixelSize() { return m_window.surface().picturePixelSize(); }
    [[nodiscard]] const Screen& screen() const { return m_screen; }
    [[nodiscard]] bool usesVibrancy() const { return m_usesVibrancy; }

    // True: at the normal level, ordered directly below the focus window; false:
    // raised to level 15. Written by the controller, which also sets the level.
    [[nodiscard]] bool inserted() const { return m_inserted; }
    void setInserted(bool inserted) { m_inserted = inserted; }
    // The screen is covered by a full-screen window of the frontmost application.
    // Written by the controller, which also sets the window's alpha.
    [[nodiscard]] bool swallowed() const { return m_swallowed; }
    void setSwallowed(bool swallowed) { m_swallowed = swallowed; }

    [[nodiscard]] Color tintColor() const { return m_tintColor; }
    [[nodiscard]] double tintAmount() const { return m_tintAmount; }
    [[nodiscard]] double tintLuminance() const { return m_tintLuminance; }
    [[nodiscard]] std::optional<double> surroundLuminance() const { return m_surroundLuminance; }
    [[nodiscard]] std::optional<bool> edgeIsDark() const { return m_edgeIsDark; }
    [[nodiscard]] bool hasPicture() const { return m_hasPicture; }
    [[nodiscard]] bool hasPendingPicture() const { return m_pendingPicture.has_value(); }
    [[nodiscard]] const std::optional<Reveal>& committedReveal() const { return m_committedReveal; }
    [[nodiscard]] bool hasCommittedReveal() const { return m_hasCommittedReveal; }
    [[nodiscard]] double cornerRadius() const { return m_cornerRadius; }

private:
    void putUpPendingPicture(bool sameFocus);
    void applyMask(const Reveal& reveal, bool animated);
    void applyTint();
    // The halo around `rects` (layer rectangles are made here from display ones).
    void updateEdges(const std::vector<Rect>& rects, bool animated);
    void removeEdges();
    // True for a black halo (bright surround), false for a white one.
    bool edgeDarkness();
    [[nodiscard]] double width() const { return m_screen.frame.width(); }
    [[nodiscard]] double height() const { return m_screen.frame.height(); }
    [[nodiscard]] OverlaySurface& surface() { return m_window.surface(); }

    OverlayWindow m_window;
    int m_edgeLayerCount;  // 6 in capture mode, 0 in vibrancy mode
    bool m_usesVibrancy;
    bool m_inserted = true;
    Screen m_screen;
    Color m_tintColor{0, 0, 0, 0};
    double m_tintAmount = 0;
    double m_tintLuminance = 0;
    std::optional<RgbaImage> m_pendingPicture;
    std::optional<double> m_surroundLuminance;
    std::optional<bool> m_edgeIsDark;  // absent: no halo decision yet
    bool m_hasPicture = false;
    std::optional<Reveal> m_committedReveal;
    bool m_hasCommittedReveal = false;
    double m_cornerRadius = 16;  // points
    bool m_swallowed = false;
};

} // namespace hg
