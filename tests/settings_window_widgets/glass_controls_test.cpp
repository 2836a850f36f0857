// The drawn controls keep what their Qt classes give: keyboard, mouse and the
// accessible role, name and value a screen reader reads.
#include "platform/settings_window/glass_controls.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QSignalSpy>
#include <QTest>

#include "platform/settings_window/glass_panels.h"
#include "qt_offscreen.h"

namespace hg {
namespace {

class GlassControlsTest : public ::testing::Test {
protected:
    void SetUp() override { testing::offscreenApp(); }
};

TEST_F(GlassControlsTest, SwitchFlipsWithSpaceAndClickAndReadsAsACheckedButton)
{
    GlassSwitch toggle;
    toggle.setAccessibleName(QStringLiteral("Gaussian Blur"));
    toggle.show();
    QSignalSpy clicked(&toggle, &QAbstractButton::clicked);
    toggle.setFocus();
    QTest::keyClick(&toggle, Qt::Key_Space);
    EXPECT_TRUE(toggle.isChecked());
    QTest::mouseClick(&toggle, Qt::LeftButton);
    EXPECT_FALSE(toggle.isChecked());
    EXPECT_EQ(clicked.count(), 2);

    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&toggle);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Gaussian Blur"));
    EXPECT_TRUE(a->state().checkable);
    toggle.setChecked(true);
    EXPECT_TRUE(a->state().checked);
}

TEST_F(GlassControlsTest, SliderStepsWithArrowsAndExposesItsValue)
{
    GlassSlider slider(5, 60, 1);
    slider.resize(300, 24);
    slider.setValueF(20);
    slider.show();
    slider.setFocus();
    QSignalSpy moved(&slider, &GlassSlider::valueFChanged);
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(slider.valueF(), 21);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_DOUBLE_EQ(moved.first().first().toDouble(), 21);

    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&slider);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->role(), QAccessible::Slider);
    ASSERT_TRUE(a->valueInterface());
    EXPECT_EQ(a->valueInterface()->currentValue().toInt(), slider.value());

    // A click at the right end goes to the maximum.
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(slider.width() - 2, 12));
    EXPECT_DOUBLE_EQ(slider.valueF(), 60);
}

TEST_F(GlassControlsTest, DimmedSliderIgnoresMouseAndKeys)
{
    GlassSlider slider(0, 1, 0.05);
    slider.resize(300, 24);
    slider.setValueF(0.5);
    slider.setDimmed(true);
    slider.show();
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(5, 12));
    QTest::mouseMove(&slider, QPoint(290, 12));
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(slider.valueF(), 0.5);
    EXPECT_EQ(slider.focusPolicy(), Qt::NoFocus);
    slider.setDimmed(false);
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_DOUBLE_EQ(slider.valueF(), 0);
}

TEST_F(GlassControlsTest, PickerChoosesWithTheKeyboardAndReadsAsAComboBox)
{
    GlassPicker picker;
    picker.addItems({QStringLiteral("Show Menu"), QStringLiteral("Toggle Blur"), QStringLiteral("Open Settings")});
    picker.setAccessibleName(QStringLiteral("Left-Click the Icon"));
    picker.show();
    picker.setFocus();
    QSignalSpy activated(&picker, &QComboBox::activated);
    QTest::keyClick(&picker, Qt::Key_Down);
    EXPECT_EQ(picker.currentIndex(), 1);
    ASSERT_EQ(activated.count(), 1);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&picker);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->role(), QAccessible::ComboBox);
    EXPECT_EQ(a->text(QAccessible::Value), QStringLiteral("Toggle Blur"));
}

TEST_F(GlassControlsTest, IconsAreDrawnAtTheDevicePixelRatio)
{
    for (qreal ratio : {1.0, 2.0}) {
        const QPixmap icon = glass::icon(QStringLiteral("gearshape"), Qt::black, 16, ratio);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.width(), qRound(16 * ratio));
        EXPECT_EQ(icon.deviceIndependentSize().toSize(), QSize(16, 16));
    }
    EXPECT_TRUE(glass::icon(QStringLiteral("no.such.symbol"), Qt::black, 16, 1).isNull());
}

} // namespace
} // namespace hg
