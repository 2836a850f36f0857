// Key presses of Qt widgets become the combinations the shortcut table stores.
#include <QKeyEvent>
#include <gtest/gtest.h>

#include "platform/shortcuts/qt_key_events.h"

namespace hg {
namespace {

std::optional<HotkeyCombo> comboFor(int qtKey, Qt::KeyboardModifiers modifiers, quint32 keysym)
{
    const QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, 0, keysym, 0);
    const auto down = keyDownEvent(event);
    return down ? HotkeyCombo::fromKeyDown(*down) : std::nullopt;
}

TEST(QtKeyEvents, SuperAltAndShiftBecomeTheStoredModifiersOfTheUSKeyPlaces)
{
    EXPECT_EQ(comboFor(Qt::Key_B, Qt::MetaModifier | Qt::AltModifier, 'b'), (HotkeyCombo{11, 0x900, "B"}));
    // Shift gives the upper-case keysym; the key and its label stay the same.
    EXPECT_EQ(comboFor(Qt::Key_A, Qt::ShiftModifier | Qt::MetaModifier, 'A'), (HotkeyCombo{0, 0x300, "A"}));
    EXPECT_EQ(comboFor(Qt::Key_Comma, Qt::ControlModifier, ','), (HotkeyCombo{43, 0x1000, ","}));
    EXPECT_EQ(comboFor(Qt::Key_F5, Qt::NoModifier, 0xffc2), (HotkeyCombo{96, 0, "F5"}));
    EXPECT_EQ(comboFor(Qt::Key_Left, Qt::AltModifier, 0xff51), (HotkeyCombo{123, 0x800, "←"}));
    EXPECT_EQ(comboFor(Qt::Key_Space, Qt::AltModifier, ' '), (HotkeyCombo{49, 0x800, "␣"}));
    EXPECT_FALSE(comboFor(Qt::Key_A, Qt::NoModifier, 'a'));
    EXPECT_FALSE(comboFor(Qt::Key_Super_L, Qt::MetaModifier, 0xffeb));  // a modifier alone
}

} // namespace
} // namespace hg
