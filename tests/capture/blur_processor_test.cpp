#include "engine/capture/blur_processor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace hg {
namespace {

// A picture painted by `paint(x, y)` (bottom-left origin) → {r, g, b}.
template <typename Paint>
CapturedImage painted(int w, int h, Paint&& paint, PixelOrder order = PixelOrder::rgba)
{
    std::vector<std::uint8_t> bytes(4 * static_cast<std::size_t>(w) * h);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x) {
            const auto [r, g, b] = paint(x, h - 1 - row);
            std::uint8_t* p = &bytes[4 * (row * w + x)];
            p[0] = static_cast<std::uint8_t>(order == PixelOrder::rgba ? r : b);
            p[1] = static_cast<std::uint8_t>(g);
            p[2] = static_cast<std::uint8_t>(order == PixelOrder::rgba ? b : r);
            p[3] = 255;
        }
    return CapturedImage::make(w, h, std::move(bytes), order);
}

struct Rgb {
    int r, g, b;
};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

// Inside `inner` white, elsewhere black.
auto whiteInside(Rect inner)
{
    return [inner](int x, int y) { return inner.contains(Point{x + 0.5, y + 0.5}) ? kWhite : kBlack; };
}

TEST(BlurProcessorTest, TheBandIsScaleTimesRadiusButAtLeast24PointsWide)
{
    EXPECT_DOUBLE_EQ(BlurProcessor::bandWidth(2, 10), 48);
    EXPECT_DOUBLE_EQ(BlurProcessor::bandWidth(0.5, 30), 15);

    // Hole 100×100 in the middle; white within 20 pixels of it, black beyond.
    const Rect hole(150, 150, 100, 100);
    const auto image = painted(400, 400, whiteInside(hole.insetBy(-20, -20)));
    auto frame = BlurProcessor::blur(image, hole, true, 2, 10);  // band 48, blur sigma 20
    ASSERT_TRUE(frame && frame->surroundLuminance);
    const double band = 196.0 * 196 - 100 * 100;  // the hole grown by 48 on each side
    EXPECT_NEAR(*frame->surroundLuminance, (140.0 * 140 - 100 * 100) / band, 1e-9);

    frame = BlurProcessor::blur(image, hole, true, 0.5, 30);  // band 15: all white
    ASSERT_TRUE(frame && frame->surroundLuminance);
    EXPECT_NEAR(*frame->surroundLuminance, 1.0, 1e-9);
}

TEST(BlurProcessorTest, TheHoleIsLeftOutAndTheBandIsClippedToThePicture)
{
    // A black hole in the bottom-left corner (bottom-left origin), white band
    // inside the picture; the rest of the picture is black.
    const Rect hole(0, 0, 50, 50);
    const auto image = painted(200, 200, [&](int x, int y) {
        if (hole.contains(Point{x + 0.5, y + 0.5}))
            return kBlack;
        return x < 98 && y < 98 ? kWhite : kBlack;
    });
    auto frame = BlurProcessor::blur(image, hole, false, 1, 48);
    ASSERT_TRUE(frame && frame->surroundLuminance);
    EXPECT_NEAR(*frame->surroundLuminance, 1.0, 1e-9);

    // The same hole given with fractional edges is grown to whole pixels.
    frame = BlurProcessor::blur(image, Rect(0.4, 0.3, 49.2, 49.5), false, 1, 48);
    ASSERT_TRUE(frame && frame->surroundLuminance);
    EXPECT_NEAR(*frame->surroundLuminance, 1.0, 1e-9);
}

TEST(BlurProcessorTest, LuminanceUsesRec709WeightsInEitherByteOrder)
{
    const auto blue = [](int, int) { return Rgb{0, 0, 255}; };
    const auto green = [](int, int) { return Rgb{0, 255, 0}; };
    for (PixelOrder order : {PixelOrder::rgba, PixelOrder::bgra}) {
        auto frame = BlurProcessor::blur(painted(120, 90, blue, order), Rect(40, 30, 20, 20), true, 1, 20);
        ASSERT_TRUE(frame && frame->surroundLuminance);
        EXPECT_NEAR(*frame->surroundLuminance, 0.0722, 1e-9);
        EXPECT_EQ(frame->image.order, order);
        frame = BlurProcessor::blur(painted(120, 90, green, order), Rect(40, 30, 20, 20), true, 1, 20);
        EXPECT_NEAR(frame->surroundLuminance.value_or(-1), 0.7152, 1e-9);
    }
}

TEST(BlurProcessorTest, NoMeasurableBandMeansNoLuminanceButStillAPicture)
{
    const auto image = painted(64, 48, [](int, int) { return kWhite; });
    for (std::optional<Rect> hole : {std::optional<Rect>(), std::optional<Rect>(Rect(100, 100, 20, 20)),
                                     std::optional<Rect>(Rect(64, 0, 10, 48)),  // touches the edge only
                                     std::optional<Rect>(Rect(-10, -10, 100, 100))}) {
        auto frame = BlurProcessor::blur(image, hole, true, 2, 20);
        ASSERT_TRUE(frame);
        EXPECT_FALSE(frame->surroundLuminance);
        EXPECT_EQ(frame->image.width, 64);
        EXPECT_EQ(frame->image.height, 48);
        EXPECT_DOUBLE_EQ(frame->scale, 2);
    }
}

TEST(BlurProcessorTest, TheBlurRadiusInPointsIsScaledToThePicturesPixels)
{
    // A white square on black: a blur of 5 points at 2 pixels a point is one
    // of 10 pixels, and differs from one of 5 pixels.
    const auto image = painted(96, 64, whiteInside(Rect(32, 16, 32, 32)));
    const auto twoPerPoint = BlurProcessor::blur(image, std::nullopt, true, 2, 5);
    const auto tenPixels = BlurProcessor::blur(image, std::nullopt, true, 1, 10);
    const auto fivePixels = BlurProcessor::blur(image, std::nullopt, true, 1, 5);
    ASSERT_TRUE(twoPerPoint && tenPixels && fivePixels);
    EXPECT_EQ(*twoPerPoint->image.pixels, *tenPixels->image.pixels);
    EXPECT_NE(*twoPerPoint->image.pixels, *fivePixels->image.pixels);
}

TEST(BlurProcessorTest, WithTheBlurOffThePictureIsTheCaptureAndLuminanceIsStillMeasured)
{
    const auto image = painted(90, 70, [](int x, int y) { return Rgb{x * 2, y * 3, (x * y) % 256}; });
    auto off = BlurProcessor::blur(image, Rect(10, 10, 20, 20), false, 1, 20);
    ASSERT_TRUE(off);
    EXPECT_EQ(*off->image.pixels, *image.pixels);
    EXPECT_TRUE(off->surroundLuminance);
    auto on = BlurProcessor::blur(image, Rect(10, 10, 20, 20), true, 1, 20);
    ASSERT_TRUE(on);
    EXPECT_NE(*on->image.pixels, *image.pixels);
    EXPECT_EQ(off->surroundLuminance, on->surroundLuminance);

    EXPECT_FALSE(BlurProcessor::blur(image, std::nullopt, true, 1, NAN));
    EXPECT_FALSE(BlurProcessor::blur(CapturedImage{}, std::nullopt, true, 1, 20));
}

// The overlay's own pixel size: the blurred picture comes at that size with
// the matching scale; the luminance is still the capture's; the unblurred
// picture, and one asked for at a size that is no size, keep the capture's.
TEST(BlurProcessorTest, ThePictureComesAtTheAskedSizeWhenBlurred)
{
    const auto image = painted(160, 90, whiteInside(Rect(40, 20, 60, 40)));
    const Rect hole(60, 30, 20, 20);
    const auto same = BlurProcessor::blur(image, hole, true, 0.8, 10);
    const auto larger = BlurProcessor::blur(image, hole, true, 0.8, 10, Size{192, 108});
    ASSERT_TRUE(same && larger);
    EXPECT_EQ(larger->image.width, 192);
    EXPECT_EQ(larger->image.height, 108);
    EXPECT_EQ(larger->image.bytesPerRow, 4 * 192);
    EXPECT_EQ(larger->image.pixels->size(), 4u * 192 * 108);
    EXPECT_DOUBLE_EQ(larger->scale, 0.8 * 192 / 160);
    EXPECT_EQ(larger->surroundLuminance, same->surroundLuminance);

    const auto off = BlurProcessor::blur(image, hole, false, 0.8, 10, Size{192, 108});
    ASSERT_TRUE(off);
    EXPECT_EQ(*off->image.pixels, *image.pixels);
    EXPECT_DOUBLE_EQ(off->scale, 0.8);
    for (Size odd : {Size{0, 108}, Size{192.5, 108}, Size{192, NAN}, Size{1e9, 108}}) {
        const auto kept = BlurProcessor::blur(image, hole, true, 0.8, 10, odd);
        ASSERT_TRUE(kept);
        EXPECT_EQ(*kept->image.pixels, *same->image.pixels);
    }
}

TEST(BlurProcessorTest, APictureWithoutColourSpaceComesOutInSRGB)
{
    auto image = painted(16, 16, [](int, int) { return kWhite; });
    image.colorSpace.reset();
    auto frame = BlurProcessor::blur(image, std::nullopt, true, 1, 10);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->image.colorSpace, ColorSpace::sRGB());
}

TEST(BlurProcessorTest, TheContextCacheKeepsTheFourNewestSpaces)
{
    const auto first = BlurProcessor::context({"space-1"});
    EXPECT_EQ(BlurProcessor::context({"space-1"}), first);
    for (int i = 2; i <= 5; ++i)
        (void)BlurProcessor::context({"space-" + std::to_string(i)});
    EXPECT_EQ(BlurProcessor::cachedContextCount(), 4u);
    const auto again = BlurProcessor::context({"space-1"});  // dropped when the fifth came
    EXPECT_NE(again, first);
    EXPECT_EQ(again->space(), ColorSpace{"space-1"});
    EXPECT_EQ(BlurProcessor::cachedContextCount(), 4u);
}

} // namespace
} // namespace hg

namespace hg {
namespace {

TEST(BlurProcessorBuffersTest, PictureBuffersAreReusedAndOutliveTheirContext)
{
    auto image = painted(64, 32, [](int x, int) { return Rgb{x * 4, 0, 0}; });
    image.colorSpace = ColorSpace{"buffers"};
    const std::uint8_t* first = nullptr;
    {
        auto frame = BlurProcessor::blur(image, std::nullopt, true, 1, 5);
        ASSERT_TRUE(frame);
        first = frame->image.pixels->data();
    }
    auto second = BlurProcessor::blur(image, std::nullopt, false, 1, 5);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->image.pixels->data(), first);  // the dropped frame's buffer came back
    EXPECT_EQ(*second->image.pixels, *image.pixels);

    for (int i = 0; i < 4; ++i)  // push the context out of the cache while the frame lives
        (void)BlurProcessor::context({"other-" + std::to_string(i)});
    EXPECT_EQ((*second->image.pixels)[4 * 10], 40);
}

} // namespace
} // namespace hg
