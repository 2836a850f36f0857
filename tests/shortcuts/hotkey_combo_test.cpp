// Combinations from key presses, their texts, and the stored JSON form.
#include <gtest/gtest.h>

#include "ui/shortcuts/hotkey_combo.h"
#include "ui/shortcuts/hotkey_json.h"

namespace hg {
namespace {

using namespace carbon_modifiers;

TEST(HotkeyAction, OnlyFiveRawValuesNameAnAction)
{
    for (long long raw : {0, 1, 2, 4, 5})
        EXPECT_EQ(rawValue(*hotkeyActionFromRaw(raw)), raw);
    for (long long raw : {-1, 3, 6, 100})
        EXPECT_FALSE(hotkeyActionFromRaw(raw)) << raw;
}

TEST(HotkeyCombo, KeyPressesMakeCombosOnlyWithAModifierOrOnAFunctionKey)
{
    EXPECT_FALSE(HotkeyCombo::fromKeyDown({0, 0, "a"}));
    // Caps lock is no modifier.
    EXPECT_FALSE(HotkeyCombo::fromKeyDown({0, key_flags::capsLock, "a"}));

    const auto f5 = HotkeyCombo::fromKeyDown({96, key_flags::function, std::nullopt});
    ASSERT_TRUE(f5);
    EXPECT_EQ(*f5, (HotkeyCombo{96, 0, "F5"}));

    const auto shiftCommandA = HotkeyCombo::fromKeyDown({0, key_flags::shift | key_flags::command, "a"});
    ASSERT_TRUE(shiftCommandA);
    EXPECT_EQ(*shiftCommandA, (HotkeyCombo{0, 0x300, "A"}));
    EXPECT_EQ(shiftCommandA->displayString(), "⇧⌘A");
    EXPECT_EQ(linuxShortcutText(*shiftCommandA), "Shift+Super+A");
}

TEST(HotkeyCombo, LabelsComeFromTheTypedCharactersElseFromTheKeyTable)
{
    EXPECT_EQ(HotkeyCombo::keyLabel(43, ","), ",");
    EXPECT_EQ(HotkeyCombo::keyLabel(41, "ö"), "Ö");
    EXPECT_EQ(HotkeyCombo::keyLabel(123, ""), "←");
    EXPECT_EQ(HotkeyCombo::keyLabel(53, std::nullopt), "⎋");
    EXPECT_EQ(HotkeyCombo::keyLabel(111, std::nullopt), "F12");
    EXPECT_EQ(HotkeyCombo::keyLabel(200, std::nullopt), "?");
}

TEST(HotkeyCombo, DisplayTextsKeepTheModifierOrderControlOptionShiftCommand)
{
    const HotkeyCombo all{11, command | shift | option | control, "B"};
    EXPECT_EQ(all.displayString(), "⌃⌥⇧⌘B");
    EXPECT_EQ(linuxShortcutText(all), "Ctrl+Alt+Shift+Super+B");
    EXPECT_EQ(linuxShortcutText({43, command | option, ","}), "Alt+Super+,");
    EXPECT_EQ(linuxShortcutText({96, control | shift, "F5"}), "Ctrl+Shift+F5");
    EXPECT_EQ(linuxShortcutText({116, control, "⇞"}), "Ctrl+Page Up");
    EXPECT_EQ(linuxShortcutText({49, option, "␣"}), "Alt+Space");
}

TEST(HotkeyCombo, MenuKeyEquivalents)
{
    const auto b = HotkeyCombo{11, command | option, "B"}.menuKeyEquivalent();
    ASSERT_TRUE(b);
    EXPECT_EQ(*b, (MenuKeyEquivalent{"b", key_flags::command | key_flags::option}));
    EXPECT_EQ(HotkeyCombo({96, control, "F5"}).menuKeyEquivalent()->key, "\uF708");
    EXPECT_EQ(HotkeyCombo({126, 0, "↑"}).menuKeyEquivalent()->key, "\uF700");
    EXPECT_EQ(HotkeyCombo({53, shift, "⎋"}).menuKeyEquivalent()->key, "\x1b");
    // A label of more than one character has no equivalent.
    EXPECT_FALSE(HotkeyCombo({7, command, "XY"}).menuKeyEquivalent());
}

TEST(HotkeyJson, RoundTripsAndRejectsWhatIsNotATable)
{
    const HotkeyAssignments table{{0, {11, 2304, "B"}}, {3, {7, 256, "X"}}, {5, {0, 0, "\"\\\n"}}};
    const auto decoded = decodeHotkeyAssignments(encodeHotkeyAssignments(table));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, table);

    EXPECT_EQ(decodeHotkeyAssignments("{}"), HotkeyAssignments{});
    const auto spaced = decodeHotkeyAssignments(
        R"( { "1" : { "label" : "\u00e9\ud83d\ude00", "keyCode" : 43.0, "carbonModifiers" : 2304, "extra": [1, {}] } } )");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced->at(1), (HotkeyCombo{43, 2304, "é😀"}));

    for (const char* bad : {
             "", "[]", "{", R"({"a":{"keyCode":1,"carbonModifiers":0,"label":"A"}})",
             R"({"1.5":{"keyCode":1,"carbonModifiers":0,"label":"A"}})",
             R"({"1":{"keyCode":1.5,"carbonModifiers":0,"label":"A"}})",
             R"({"1":{"keyCode":-1,"carbonModifiers":0,"label":"A"}})",
             R"({"1":{"keyCode":4294967296,"carbonModifiers":0,"label":"A"}})",
             R"({"1":{"keyCode":1,"label":"A"}})", R"({"1":{"keyCode":1,"carbonModifiers":0,"label":5}})",
             R"({"1":{"keyCode":01,"carbonModifiers":0,"label":"A"}})",
             R"({"1":{"keyCode":1,"carbonModifiers":0,"label":"A"}} x)", R"({"1":{"keyCode":1,"carbonModifiers":0,"label":"\ud800"}})",
             "{\"1\":{\"keyCode\":1,\"carbonModifiers\":0,\"label\":\"a\x01\"}}"})
        EXPECT_FALSE(decodeHotkeyAssignments(bad)) << bad;
    // Deep nesting is refused, not a stack overflow.
    EXPECT_FALSE(decodeHotkeyAssignments(std::string(100000, '[')));
}

} // namespace
} // namespace hg
