// Recording a shortcut: what each key press does to the recording and to the
// assignments, and that the shortcuts are off while recording.
#include "ui/settings/shortcut_recorder.h"

#include <gtest/gtest.h>

#include "../shortcuts/fake_hotkey_registrar.h"
#include "test_i18n.h"

namespace hg {
namespace {

constexpr std::uint32_t kKeyA = 0;
constexpr std::uint32_t kKeyB = 11;

class ShortcutRecorderTest : public ::testing::Test {
protected:
    ShortcutRecorderTest()
    {
        hotkeys.installHandler();
        hotkeys.registerAll();
    }
    static KeyDownEvent key(std::uint32_t code, std::uint32_t flags = 0, std::string chars = "a")
    {
        return {code, flags, chars};
    }

    InMemoryDefaults defaults;
    testing::FakeHotkeyRegistrar registrar;
    HotkeyManager hotkeys{defaults, registrar};
    testing::TestI18n t;
    ShortcutRecorder recorder{hotkeys, t.i18n};
};

TEST_F(ShortcutRecorderTest, APlainKeyShowsTheHintAndKeepsRecording)
{
    const auto before = hotkeys.assignments();
    recorder.start(HotkeyAction::toggleCursorReveal);
    EXPECT_TRUE(registrar.live.empty());  // pressing an existing shortcut must not fire it
    EXPECT_TRUE(recorder.keyDown(key(kKeyA)));
    EXPECT_EQ(recorder.recordingAction(), HotkeyAction::toggleCursorReveal);
    ASSERT_TRUE(recorder.captureError());
    EXPECT_EQ(*recorder.captureError(), "Hold a modifier (Ctrl, Alt, Shift, Super) or use a function key.");
    EXPECT_EQ(hotkeys.assignments(), before);
}

TEST_F(ShortcutRecorderTest, EscapeEndsWithoutChangeAndRegistersAgain)
{
    const auto before = hotkeys.assignments();
    const std::size_t registered = registrar.live.size();
    recorder.start(HotkeyAction::toggleBlur);
    EXPECT_TRUE(recorder.keyDown(key(kEscapeKeyCode, 0, "\x1b")));
    EXPECT_FALSE(recorder.recordingAction());
    EXPECT_EQ(hotkeys.assignments(), before);
    EXPECT_EQ(registrar.live.size(), registered);
}

TEST_F(ShortcutRecorderTest, BackspaceClearsTheShortcutOrJustEnds)
{
    ASSERT_TRUE(hotkeys.combo(HotkeyAction::toggleBlur));
    recorder.start(HotkeyAction::toggleBlur);
    recorder.keyDown(key(kDeleteKeyCode, 0, "\x7f"));
    EXPECT_FALSE(hotkeys.combo(HotkeyAction::toggleBlur));
    EXPECT_FALSE(recorder.recordingAction());

    ASSERT_FALSE(hotkeys.combo(HotkeyAction::cycleBlurStrength));
    const auto before = hotkeys.assignments();
    recorder.start(HotkeyAction::cycleBlurStrength);
    recorder.keyDown(key(kDeleteKeyCode, 0, "\x7f"));
    EXPECT_FALSE(recorder.recordingAction());
    EXPECT_EQ(hotkeys.assignments(), before);
}

TEST_F(ShortcutRecorderTest, ACombinationTakenFromAnotherActionMovesToTheRecordedOne)
{
    const auto taken = hotkeys.combo(HotkeyAction::toggleBlur);
    ASSERT_TRUE(taken);
    recorder.start(HotkeyAction::togglePauseFullScreen);
    // The same key and modifiers as toggleBlur's shortcut.
    KeyDownEvent press = key(taken->keyCode, key_flags::command | key_flags::option, "b");
    ASSERT_EQ(taken->keyCode, kKeyB);
    recorder.keyDown(press);
    EXPECT_FALSE(recorder.recordingAction());
    EXPECT_FALSE(hotkeys.combo(HotkeyAction::toggleBlur));
    EXPECT_EQ(hotkeys.combo(HotkeyAction::togglePauseFullScreen)->keyCode, kKeyB);
    EXPECT_TRUE(hotkeys.isRegistered(HotkeyAction::togglePauseFullScreen));
}

TEST_F(ShortcutRecorderTest, StartingAnotherActionEndsTheFirstAndKeysAreIgnoredWhenIdle)
{
    EXPECT_FALSE(recorder.keyDown(key(kKeyA)));
    recorder.start(HotkeyAction::toggleBlur);
    recorder.keyDown(key(kKeyA));
    recorder.start(HotkeyAction::openSettings);
    EXPECT_EQ(recorder.recordingAction(), HotkeyAction::openSettings);
    EXPECT_FALSE(recorder.captureError());
    EXPECT_TRUE(registrar.live.empty());
}

} // namespace
} // namespace hg
