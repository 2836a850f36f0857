#include <cmath>

#include <gtest/gtest.h>

#include "engine/overlay/blur_overlay.h"
#include "support/fakes/fake_overlay_surface.h"

namespace hg {
namespace {

using testing::FakeSurfaceFactory;

Screen testScreen()
{
    Screen s;
    s.displayNumber = 1;
    s.frame = {0, 0, 1000, 800};
    s.visibleFrame = s.frame;
    return s;
}

RgbaImage picture(int width = 4, int height = 3)
{
    auto pixels = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(width * height * 4), 128);
    return {width, height, static_cast<std::size_t>(width) * 4, pixels, 1};
}

Reveal focusReveal(std::uint32_t focus, std::optional<Rect> window = std::nullopt)
{
    Reveal r;
    r.focusWindowID = focus;
    r.window = window;
    return r;
}

class BlurOverlayTest : public ::testing::Test {
protected:
    std::unique_ptr<BlurOverlay> make(bool vibrancy = false, bool fadeIn = false, double radius = 20)
    {
        auto overlay = std::make_unique<BlurOverlay>(factory, testScreen(), fadeIn, vibrancy, true, radius);
        overlay->setTint(Color::black(), 0);
        factory.made.back()->reset();
        return overlay;
    }
    testing::SurfaceRecord& surface() { return *factory.made.back(); }

    FakeSurfaceFactory factory;
};

TEST_F(BlurOverlayTest, NewWindowStartsAtNormalLevelInFrontAndFadesIn)
{
    BlurOverlay overlay(factory, testScreen(), /*fadeIn*/ true, false, /*excluded*/ true, 20);
    const std::vector<std::string> expected{"level 0",  "alpha 0[direct]", "orderFront", "begin(fadeIn)",
                                            "alpha 100[fadeIn]", "commit"};
    EXPECT_EQ(surface().calls, expected);
    EXPECT_EQ(surface().options.sharingType, SharingType::none);
    EXPECT_FALSE(surface().options.usesVibrancy);
    EXPECT_FALSE(overlay.window().canBecomeKeyWindow());
    EXPECT_TRUE(overlay.window().owns(0x400001));
    EXPECT_TRUE(overlay.inserted());

    BlurOverlay plain(factory, testScreen(), /*fadeIn*/ false, false, /*excluded*/ false, 20);
    EXPECT_EQ(surface().count("alpha 100[direct]"), 1);
    EXPECT_EQ(surface().countPrefix("begin"), 0);
    EXPECT_EQ(surface().options.sharingType, SharingType::readOnly);
}

TEST_F(BlurOverlayTest, PictureWaitsForApplyAndGoesUpWithoutRebuildingAnUnchangedMask)
{
    auto overlay = make();
    const Reveal r = focusReveal(5, Rect{100, 100, 300, 200});
    overlay->apply(r);
    RgbaImage broken = picture();
    broken.stride = 2;  // rows shorter than their pixels
    overlay->setPicture(broken, 0.3);
    EXPECT_FALSE(overlay->hasPendingPicture());
    overlay->setPicture(picture(), 0.3);
    EXPECT_EQ(surface().countPrefix("picture"), 0);  // pending until the next frame

    surface().reset();
    overlay->apply(r);
    EXPECT_EQ(surface().count("picture[none,none]"), 1);
    EXPECT_EQ(surface().countPrefix("mask"), 0);
    EXPECT_EQ(surface().countPrefix("edge "), 6);  // the halo follows the new picture
    EXPECT_EQ(surface().calls.front(), "begin(none)");  // one batch for all of it
    EXPECT_EQ(surface().calls.back(), "commit");
    EXPECT_TRUE(overlay->hasPicture());
    EXPECT_FALSE(overlay->hasPendingPicture());
}

TEST_F(BlurOverlayTest, NearlyEqualRevealWithoutPictureDoesNothing)
{
    auto overlay = make();
    Reveal r = focusReveal(5, Rect{100, 100, 300, 200});
    overlay->apply(r);
    EXPECT_EQ(surface().countPrefix("mask"), 1);
    surface().reset();
    r.window->origin.x += 0.4;
    overlay->apply(r);
    EXPECT_TRUE(surface().calls.empty());
    EXPECT_EQ(surface().transactions, 0);
    // A newer picture replaces one that never showed.
    overlay->setPicture(picture(4, 3), std::nullopt);
    overlay->setPicture(picture(8, 6), std::nullopt);
    overlay->apply(r);
    ASSERT_TRUE(surface().picture.has_value());
    EXPECT_EQ(surface().picture->width, 8);
}

TEST_F(BlurOverlayTest, FocusChangeAnimatesTheMaskAndCrossFadesTheNextPicture)
{
    auto overlay = make();
    overlay->setPicture(picture(), 0.3);
    overlay->apply(focusReveal(1));
    EXPECT_EQ(surface().count("picture[none,none]"), 1);  // the first picture has nothing to fade from
    surface().reset();

    overlay->setPicture(picture(), 0.3);
    overlay->apply(focusReveal(2, Rect{100, 100, 300, 200}));
    EXPECT_EQ(surface().count("picture[none,crossFade]"), 1);
    EXPECT_EQ(surface().count("mask[maskMove]"), 1);
    EXPECT_EQ(surface().count("edge 0[maskMove]"), 1);

    // A raised overlay switches pictures at once.
    overlay->setInserted(false);
    overlay->setPicture(picture(), 0.3);
    surface().reset();
    overlay->apply(focusReveal(3, Rect{100, 100, 300, 200}));
    EXPECT_EQ(surface().count("picture[none,none]"), 1);
    EXPECT_EQ(surface().count("mask[maskMove]"), 1);
}

TEST_F(BlurOverlayTest, SlowDragIsInstantWhileJumpsAndResizesAnimate)
{
    auto overlay = make();
    overlay->apply(focusReveal(4, Rect{100, 100, 300, 200}));
    surface().reset();
    overlay->apply(focusReveal(4, Rect{110, 105, 300, 200}));
    EXPECT_EQ(surface().count("mask[none]"), 1);
    overlay->apply(focusReveal(4, Rect{180, 150, 300, 200}));  // 80.6 points
    EXPECT_EQ(surface().count("mask[maskMove]"), 1);
    overlay->apply(focusReveal(4, Rect{180, 150, 420, 200}));  // 40 % wider
    EXPECT_EQ(surface().count("mask[maskMove]"), 2);
    // The first mask of all is instant when the focus stays unknown.
    auto fresh = make();
    fresh->apply(Reveal{});
    EXPECT_EQ(surface().count("mask[none]"), 1);
}

TEST_F(BlurOverlayTest, HaloColourHasHysteresisAroundHalfBrightness)
{
    auto overlay = make();
    const Reveal r = focusReveal(5, Rect{100, 100, 300, 200});
    // With a tint amount of 1 the halo follows the tint's luminance alone.
    const auto decide = [&](double luminance) {
        overlay->setTint({luminance, luminance, luminance, 1}, 1.0);
        overlay->setPicture(picture(), 0.9);
        overlay->apply(r);
        return overlay->edgeIsDark();
    };
    EXPECT_EQ(decide(0.5), true);
    EXPECT_EQ(surface().edges[0]->color, (Color{0, 0, 0, 0.15}));
    EXPECT_EQ(decide(0.46), true);
    EXPECT_EQ(decide(0.44), false);
    EXPECT_EQ(surface().edges[5]->color, (Color{1, 1, 1, 0.02}));
    EXPECT_EQ(decide(0.55), false);
    EXPECT_EQ(decide(0.56), true);

    auto fresh = make();
    fresh->setPicture(picture(), 0.49);
    fresh->apply(r);
    EXPECT_EQ(fresh->edgeIsDark(), false);

    // A new tint changes the halo at once, without waiting for a new picture.
    fresh->setTint({1, 1, 1, 1}, 1.0);
    EXPECT_EQ(fresh->edgeIsDark(), true);
    EXPECT_EQ(surface().edges[0]->color, (Color{0, 0, 0, 0.15}));
}

TEST_F(BlurOverlayTest, SurroundLuminanceIsSmoothedAndDroppedWithoutAWindowHole)
{
    auto overlay = make();
    overlay->setPicture(picture(), 0.2);
    overlay->setPicture(picture(), 0.8);
    EXPECT_NEAR(*overlay->surroundLuminance(), 0.32, 1e-12);
    overlay->setPicture(picture(), std::nullopt);
    EXPECT_NEAR(*overlay->surroundLuminance(), 0.32, 1e-12);
    overlay->apply(focusReveal(1));  // no window hole: no halo, the average starts again
    EXPECT_FALSE(overlay->surroundLuminance().has_value());
    EXPECT_EQ(surface().countPrefix("edge "), 0);
    EXPECT_EQ(surface().countPrefix("noEdge "), 6);
}

TEST_F(BlurOverlayTest, HaloRingsSurroundTheWindowHole)
{
    auto overlay = make();
    overlay->setPicture(picture(), 0.3);
    overlay->apply(focusReveal(5, Rect{100, 100, 200, 100}));
    // Layer rectangle (100, 600, 200, 100); ring 0 lies 1 point out, its frame 1 more.
    ASSERT_TRUE(surface().edges[0].has_value());
    EXPECT_EQ(surface().edges[0]->frame, Rect(98, 598, 204, 104));
    EXPECT_EQ(surface().edges[5]->frame, Rect(88, 588, 224, 124));
    EXPECT_EQ(surface().edges[0]->lineWidth, 2);
    // A 12-point halo that fades outwards.
    const double opacities[] = {0.15, 0.10, 0.067, 0.045, 0.03, 0.02};
    for (std::size_t i = 0; i < surface().edges.size(); ++i) {
        ASSERT_TRUE(surface().edges[i].has_value()) << i;
        EXPECT_EQ(surface().edges[i]->color.alpha, opacities[i]) << i;
    }
    const Rect box = surface().edges[0]->path.boundingBox();
    EXPECT_NEAR(box.minX(), 1, 1e-9);
    EXPECT_NEAR(box.maxX(), 203, 1e-9);
    int arcs = 0;
    for (const PathElement& e : surface().edges[5]->path.elements())
        if (e.kind == PathElement::Kind::arc) {
            ++arcs;
            EXPECT_NEAR(e.radiusX, 11 + 16, 1e-9);
        }
    EXPECT_EQ(arcs, 4);

    // The hole moves without a new picture: the halo goes with it.
    overlay->apply(focusReveal(5, Rect{400, 300, 200, 100}));
    ASSERT_TRUE(surface().edges[0].has_value());
    EXPECT_EQ(surface().edges[0]->frame, Rect(398, 398, 204, 104));
}

TEST_F(BlurOverlayTest, ScreenFillingWindowHoleHasSquareCorners)
{
    const auto arcRadii = [](const Path& p) {
        std::vector<double> radii;
        for (const PathElement& e : p.elements())
            if (e.kind == PathElement::Kind::arc)
                radii.push_back(e.radiusX);
        return radii;
    };
    auto overlay = make();
    overlay->setPicture(picture(), 0.3);
    // A point less than the screen each way, clear of its left and top edges:
    // the hole's corners there would be rounded if it did not fill the screen.
    overlay->apply(focusReveal(5, Rect{0.75, 0.75, 999, 799}));
    EXPECT_TRUE(arcRadii(surface().mask).empty());

    // The halo of such a hole has no corner radius either: a window partly
    // moved off the screen leaves rings whose inner corners are rounded only
    // by their own distance from the window.
    overlay->setPicture(picture(), 0.3);
    overlay->apply(focusReveal(5, Rect{5, 5, 999, 799}));
    EXPECT_TRUE(arcRadii(surface().mask).empty());
    int rounded = 0;
    for (int i = 0; i < OverlaySurface::kEdgeCount; ++i) {
        ASSERT_TRUE(surface().edges[static_cast<std::size_t>(i)].has_value()) << i;
        for (double radius : arcRadii(surface().edges[static_cast<std::size_t>(i)]->path)) {
            EXPECT_NEAR(radius, 2 * i + 1, 1e-9) << i;
            ++rounded;
        }
    }
    EXPECT_GT(rounded, 0);
}

TEST_F(BlurOverlayTest, TintAmountIsClampedAndReappliedEveryFrame)
{
    auto overlay = make();
    overlay->setTint({1, 0, 0, 1}, 1.5);
    EXPECT_EQ(overlay->tintAmount(), 1);
    EXPECT_EQ(surface().tintOpacity, 1);
    EXPECT_NEAR(overlay->tintLuminance(), 0.2126, 1e-12);
    overlay->setTint({1, 0, 0, 1}, -0.2);
    EXPECT_EQ(overlay->tintAmount(), 0);
    overlay->setTint({1, 0, 0, 1}, std::nan(""));
    EXPECT_EQ(overlay->tintAmount(), 0);
    surface().reset();
    overlay->apply(focusReveal(1));
    EXPECT_EQ(surface().count("tint[none]"), 1);
    EXPECT_EQ(surface().count("attachTint"), 1);
}

TEST_F(BlurOverlayTest, ClearDropsEverythingAndTheNextApplyStartsOver)
{
    auto overlay = make();
    const Reveal r = focusReveal(5, Rect{100, 100, 300, 200});
    overlay->setTint({0, 0, 1, 1}, 0.4);
    overlay->setPicture(picture(), 0.3);
    overlay->apply(r);
    overlay->clear();
    EXPECT_FALSE(surface().picture.has_value());
    EXPECT_TRUE(surface().mask.isEmpty());
    EXPECT_EQ(surface().tintOpacity, 0);
    for (const auto& edge : surface().edges)
        EXPECT_FALSE(edge.has_value());
    EXPECT_FALSE(overlay->hasPicture());
    EXPECT_FALSE(overlay->surroundLuminance().has_value());
    surface().reset();
    overlay->apply(r);
    EXPECT_EQ(surface().countPrefix("mask"), 1);
    EXPECT_NEAR(surface().tintOpacity, 0.4, 1e-12);
}

TEST_F(BlurOverlayTest, VibrancyIgnoresPicturesAndNeverDrawsAHalo)
{
    BlurOverlay overlay(factory, testScreen(), false, /*vibrancy*/ true, true, 25);
    EXPECT_EQ(surface().options.material, Material::fullScreenUI);
    surface().reset();
    overlay.setPicture(picture(), 0.9);
    EXPECT_FALSE(overlay.hasPendingPicture());
    overlay.apply(focusReveal(5, Rect{100, 100, 300, 200}));
    EXPECT_EQ(surface().countPrefix("picture"), 0);
    EXPECT_EQ(surface().countPrefix("edge"), 0);
    EXPECT_EQ(surface().countPrefix("noEdge"), 0);
    EXPECT_TRUE(surface().mask.contains({50, 50}, FillRule::evenOdd));
    EXPECT_FALSE(surface().mask.contains({200, 650}, FillRule::evenOdd));  // the window hole
    overlay.setMaterial(Material::menu);
    EXPECT_EQ(surface().count("material 5"), 1);
}

TEST(BlurOverlayMaterial, EachThresholdSelectsTheNextMaterialUp)
{
    EXPECT_EQ(materialForBlurRadius(11.99), Material::hudWindow);
    EXPECT_EQ(materialForBlurRadius(12), Material::underWindowBackground);
    EXPECT_EQ(materialForBlurRadius(24.9), Material::underWindowBackground);
    EXPECT_EQ(materialForBlurRadius(25), Material::fullScreenUI);
    EXPECT_EQ(materialForBlurRadius(40), Material::menu);
    EXPECT_EQ(static_cast<int>(Material::hudWindow), 13);
    EXPECT_EQ(static_cast<int>(Material::underWindowBackground), 21);
    EXPECT_EQ(static_cast<int>(Material::fullScreenUI), 15);
    EXPECT_EQ(static_cast<int>(Material::menu), 5);
}

} // namespace
} // namespace hg
