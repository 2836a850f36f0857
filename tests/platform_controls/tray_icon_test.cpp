// The tray icon's picture: drawn upright, its inner shapes cut out of the
// window, and dimmed as a whole.
#include <gtest/gtest.h>

#include "platform/menubar/tray_icon.h"

namespace hg {
namespace {

// The pixel at a point of the 18-point icon (origin bottom left).
int alphaAt(const QImage& image, double xPoints, double yPoints)
{
    return qAlpha(image.pixel(static_cast<int>(xPoints * 4), static_cast<int>((18 - yPoints) * 4)));
}

TEST(TrayIcon, TheWindowIsOpaqueItsDotsAreCutOutAndTheWholeIsDimmed)
{
    const QImage on = drawTrayIcon(Qt::black, 1.0);
    ASSERT_EQ(on.size(), QSize(72, 72));
    EXPECT_EQ(alphaAt(on, 14, 3.5), 255);         // the window's body, low right
    EXPECT_NEAR(alphaAt(on, 6.5, 10.75), 25, 6);  // a dot: only the soft square shows through
    EXPECT_NEAR(alphaAt(on, 12, 6.95), 0, 1);     // the upper line: no square behind it
    EXPECT_EQ(alphaAt(on, 17.5, 17.5), 0);        // the empty corner
    EXPECT_GT(alphaAt(on, 2.5, 15.5), 20);        // the soft square, upper left

    const QImage off = drawTrayIcon(Qt::black, 0.45);
    EXPECT_NEAR(alphaAt(off, 14, 3.5), 115, 2);
    // Drawn in the given colour.
    EXPECT_EQ(qRed(drawTrayIcon(Qt::white, 1.0).pixel(56, 58)), 255);
}

} // namespace
} // namespace hg
