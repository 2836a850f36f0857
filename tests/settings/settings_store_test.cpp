// The blur settings: what a launch reads from the defaults, the change rule
// every writer follows, the tint colour's text form and the two exclusion lists.
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hg {
namespace {

namespace keys = defaults_keys;
using Strings = std::vector<std::string>;

class SettingsStoreTest : public ::testing::Test {
protected:
    SettingsStore loaded()
    {
        SettingsStore store(defaults);
        store.load();
        return store;
    }

    InMemoryDefaults defaults;
    int announcements = 0;
    SettingsStore::Announce announce = [this] { ++announcements; };
};

TEST_F(SettingsStoreTest, EmptyDomainGivesTheDefaults)
{
    const SettingsStore store = loaded();
    EXPECT_EQ(store.blurRadius, 20);
    EXPECT_TRUE(store.blurEnabled);
    EXPECT_TRUE(store.pauseForFullScreenApps);
    EXPECT_FALSE(store.revealCursor);
    EXPECT_EQ(store.cursorRevealRadius, 120);
    EXPECT_EQ(store.blurTintColor, Color::white());
    EXPECT_EQ(store.blurTintAmount, 0);
    EXPECT_TRUE(store.excludedApps.empty());
    EXPECT_TRUE(store.excludedDisplayIDs.empty());
    EXPECT_TRUE(store.blurExcludedFromCapture);
    EXPECT_FALSE(store.effectEnabled);
    EXPECT_EQ(defaults.writeCount(), 0);  // loading writes nothing
}

TEST_F(SettingsStoreTest, LoadClampsOutOfRangeValues)
{
    struct Case {
        double radius, reveal, amount;
        double wantRadius, wantReveal, wantAmount;
    };
    for (const Case& c : {Case{3, 10, -0.5, 5, 20, 0}, Case{100, 1000, 2, 60, 400, 1},
                          Case{5, 20, 0, 5, 20, 0}, Case{33.3, 250, 0.4, 33.3, 250, 0.4}}) {
        defaults.setDouble(keys::blurRadius, c.radius);
        defaults.setDouble(keys::cursorRevealRadius, c.reveal);
        defaults.setDouble(keys::blurTintAmount, c.amount);
        const SettingsStore store = loaded();
        EXPECT_EQ(store.blurRadius, c.wantRadius);
        EXPECT_EQ(store.cursorRevealRadius, c.wantReveal);
        EXPECT_EQ(store.blurTintAmount, c.wantAmount);
    }
}

TEST_F(SettingsStoreTest, LoadReadsEveryStoredKey)
{
    defaults.setBool(keys::blurEnabled, false);
    defaults.setBool(keys::pauseFullScreen, false);
    defaults.setBool(keys::revealCursor, true);
    defaults.setString(keys::blurTintColor, "#ff8000");
    defaults.setStringArray(keys::excludedApps, {" Com.Example.App\n", "  ", "com.example.app", "org.Other"});
    defaults.setStringArray(keys::excludedDisplayIDs, {"2", " 10"});
    defaults.setBool(keys::blurExcludedFromCapture, false);
    defaults.setBool(keys::enabled, true);

    const SettingsStore store = loaded();
    EXPECT_FALSE(store.blurEnabled);
    EXPECT_FALSE(store.pauseForFullScreenApps);
    EXPECT_TRUE(store.revealCursor);
    EXPECT_EQ(store.blurTintColor, (Color{1, 128 / 255.0, 0, 1}));
    EXPECT_EQ(store.excludedApps, (ExcludedApps{"com.example.app", "org.other"}));
    EXPECT_EQ(store.excludedDisplayIDs, (std::set<std::string>{"2", " 10"}));  // taken as they are
    EXPECT_FALSE(store.blurExcludedFromCapture);
    EXPECT_TRUE(store.effectEnabled);
}

TEST_F(SettingsStoreTest, MissingEnabledLeavesTheEffectOffWhateverElseIsStored)
{
    defaults.setDouble(keys::blurRadius, 30);
    defaults.setBool(keys::blurEnabled, true);
    defaults.setStringArray(keys::excludedApps, {"com.example.app"});
    const SettingsStore store = loaded();
    EXPECT_EQ(store.blurRadius, 30);
    EXPECT_FALSE(store.effectEnabled);
}

TEST_F(SettingsStoreTest, WronglyTypedValuesReadAsMissing)
{
    defaults.setString(keys::blurRadius, "30");
    defaults.setString(keys::blurEnabled, "false");
    defaults.setStringArray(keys::cursorRevealRadius, {"200"});
    defaults.setDouble(keys::blurTintColor, 0xFF8000FF);
    defaults.setString(keys::excludedApps, "com.example.app");
    defaults.setString(keys::enabled, "true");
    const SettingsStore store = loaded();
    EXPECT_EQ(store.blurRadius, 20);
    EXPECT_TRUE(store.blurEnabled);
    EXPECT_EQ(store.cursorRevealRadius, 120);
    EXPECT_EQ(store.blurTintColor, Color::white());
    EXPECT_TRUE(store.excludedApps.empty());
    EXPECT_FALSE(store.effectEnabled);
}

TEST_F(SettingsStoreTest, ChangeClampsAnnouncesBeforeAssigningAndWritesAtOnce)
{
    SettingsStore store = loaded();
    double heldWhenAnnounced = -1;
    const bool changed = store.changeBlurRadius(80, [&] { heldWhenAnnounced = store.blurRadius; });
    EXPECT_TRUE(changed);
    EXPECT_EQ(heldWhenAnnounced, 20);
    EXPECT_EQ(store.blurRadius, 60);
    EXPECT_EQ(defaults.doubleValue(keys::blurRadius), 60);
    EXPECT_EQ(defaults.object(keys::blurRadius)->index(), 0u);  // stored as a double

    EXPECT_TRUE(store.changeCursorRevealRadius(5, announce));
    EXPECT_EQ(defaults.doubleValue(keys::cursorRevealRadius), 20);
    EXPECT_FALSE(store.changeBlurTintAmount(-1, announce));  // clamps to the held 0
    EXPECT_TRUE(store.changeBlurTintAmount(7, announce));
    EXPECT_EQ(defaults.doubleValue(keys::blurTintAmount), 1);
    EXPECT_EQ(announcements, 2);
}

TEST_F(SettingsStoreTest, ChangeToAnEqualValueAnnouncesAndWritesNothing)
{
    SettingsStore store = loaded();
    const int writes = defaults.writeCount();
    EXPECT_FALSE(store.changeBlurRadius(20, announce));
    EXPECT_FALSE(store.changeCursorRevealRadius(120, announce));
    EXPECT_FALSE(store.changeBlurTintAmount(0, announce));
    EXPECT_FALSE(store.changeBlurEnabled(true, announce));
    EXPECT_FALSE(store.changePauseForFullScreenApps(true, announce));
    EXPECT_FALSE(store.changeRevealCursor(false, announce));
    EXPECT_FALSE(store.changeBlurExcludedFromCapture(true, announce));
    EXPECT_FALSE(store.changeEffectEnabled(false, announce));
    store.changeBlurRadius(60, announce);
    EXPECT_FALSE(store.changeBlurRadius(1000, announce));  // clamps to the held 60
    EXPECT_EQ(announcements, 1);
    EXPECT_EQ(defaults.writeCount(), writes + 1);
}

TEST_F(SettingsStoreTest, EachBoolChangeWritesItsOwnKey)
{
    SettingsStore store = loaded();
    EXPECT_TRUE(store.changeBlurEnabled(false, announce));
    EXPECT_TRUE(store.changePauseForFullScreenApps(false, announce));
    EXPECT_TRUE(store.changeRevealCursor(true, announce));
    EXPECT_TRUE(store.changeBlurExcludedFromCapture(false, announce));
    EXPECT_TRUE(store.changeEffectEnabled(true, announce));
    EXPECT_EQ(announcements, 5);
    EXPECT_EQ(defaults.boolValue(keys::blurEnabled), false);
    EXPECT_EQ(defaults.boolValue(keys::pauseFullScreen), false);
    EXPECT_EQ(defaults.boolValue(keys::revealCursor), true);
    EXPECT_EQ(defaults.boolValue(keys::blurExcludedFromCapture), false);
    EXPECT_EQ(defaults.boolValue(keys::enabled), true);
    EXPECT_EQ(defaults.object(keys::enabled)->index(), 1u);  // stored as a Bool

    // What was written is what the next launch reads.
    EXPECT_TRUE(loaded().effectEnabled);
    EXPECT_TRUE(loaded().revealCursor);
}

TEST_F(SettingsStoreTest, TintColourAlwaysAnnouncesAndWritesItsText)
{
    SettingsStore store = loaded();
    const Color orange{1, 128 / 255.0, 0, 1};
    store.changeBlurTintColor(orange, announce);
    store.changeBlurTintColor(orange, announce);
    EXPECT_EQ(announcements, 2);
    EXPECT_EQ(store.blurTintColor, orange);
    EXPECT_EQ(defaults.stringValue(keys::blurTintColor), "FF8000FF");
    EXPECT_EQ(loaded().blurTintColor, orange);
}

TEST(TintColorTextTest, ParsesSixOrEightDigitsAndFallsBackToWhite)
{
    using S = SettingsStore;
    EXPECT_EQ(S::textToTintColor("#ff8000"), (Color{1, 128 / 255.0, 0, 1}));
    EXPECT_EQ(S::textToTintColor(" FF800080 \n"), (Color{1, 128 / 255.0, 0, 128 / 255.0}));
    EXPECT_EQ(S::textToTintColor("\t#00ff00#\r\n"), (Color{0, 1, 0, 1}));
    EXPECT_EQ(S::textToTintColor("00000000"), (Color{0, 0, 0, 0}));
    for (const char* junk : {"12345", "GG0000", "0x123456", "", "#", "ff80 00", "# ff8000", "ff8000ff0", "-1234567",
                             "+1234567", "ff80000"})
        EXPECT_EQ(S::textToTintColor(junk), Color::white()) << '"' << junk << '"';
}

TEST(TintColorTextTest, WritesEightUpperCaseDigitsRoundingHalvesUp)
{
    using S = SettingsStore;
    EXPECT_EQ(S::tintColorToText(Color::white()), "FFFFFFFF");
    EXPECT_EQ(S::tintColorToText({1, 128 / 255.0, 0, 1}), "FF8000FF");
    EXPECT_EQ(S::tintColorToText({0.5, 0, 0, 1}), "800000FF");      // 127.5 rounds to 128
    EXPECT_EQ(S::tintColorToText({1.5, -0.2, 0, 2}), "FF0000FF");   // each component clamped
    for (const char* text : {"FF8000FF", "00000000", "0A1B2C3D", "7F807F80"})
        EXPECT_EQ(S::tintColorToText(S::textToTintColor(text)), text);
}

TEST(ExcludedAppsTest, NormalisesByTrimmingAndLowerCasing)
{
    EXPECT_EQ(ExcludedApps::normalize(" \t Com.Example.App\r\n"), "com.example.app");
    EXPECT_EQ(ExcludedApps::normalize(" \n\t "), "");
    const ExcludedApps apps{"A.b", " a.B ", "", "c.d"};
    EXPECT_EQ(apps.bundleIDs(), (std::set<std::string>{"a.b", "c.d"}));
    EXPECT_TRUE(apps.contains(" C.D\n"));
    EXPECT_FALSE(apps.contains("   "));
}

TEST_F(SettingsStoreTest, AddingAndRemovingExcludedAppsPersistsNormalisedIdentifiers)
{
    SettingsStore store = loaded();
    store.addExcludedApp("  Com.Example.App\n");
    EXPECT_EQ(defaults.stringArray(keys::excludedApps), Strings{"com.example.app"});
    store.addExcludedApp("com.example.app");
    EXPECT_EQ(defaults.stringArray(keys::excludedApps), Strings{"com.example.app"});
    EXPECT_EQ(store.excludedApps.bundleIDs().size(), 1u);

    const int writes = defaults.writeCount();
    store.addExcludedApp(" \t\n");
    store.removeExcludedApp("  ");
    EXPECT_EQ(defaults.writeCount(), writes);

    store.removeExcludedApp("COM.EXAMPLE.APP");
    EXPECT_TRUE(store.excludedApps.empty());
    EXPECT_EQ(defaults.stringArray(keys::excludedApps), Strings{});
}

TEST_F(SettingsStoreTest, ExcludedDisplaysAreWrittenInStringOrder)
{
    SettingsStore store = loaded();
    store.setDisplayExcluded("2", true);
    store.setDisplayExcluded("10", true);
    EXPECT_EQ(defaults.stringArray(keys::excludedDisplayIDs), (Strings{"10", "2"}));
    store.setDisplayExcluded("screen-1-Built-in", true);
    store.setDisplayExcluded("10", false);
    EXPECT_EQ(defaults.stringArray(keys::excludedDisplayIDs), (Strings{"2", "screen-1-Built-in"}));
    store.setDisplayExcluded("99", false);
    EXPECT_EQ(loaded().excludedDisplayIDs, (std::set<std::string>{"2", "screen-1-Built-in"}));
}

TEST(BlurTablesTest, LevelsAreOrderedAndHoldTheDefaults)
{
    for (std::size_t i = 1; i < kBlurLevels.size(); ++i)
        EXPECT_LT(kBlurLevels[i - 1].radius, kBlurLevels[i].radius);
    for (const BlurLevel& level : kBlurLevels)
        EXPECT_EQ(SettingsStore::clampBlurRadius(level.radius), level.radius) << level.label;
    EXPECT_EQ(kBlurLevels[2].label, "40%");
    EXPECT_EQ(kBlurLevels[2].radius, 20);
    EXPECT_EQ(kCursorRevealRadii[1].radius, 120);
    for (const CursorRevealRadius& r : kCursorRevealRadii)
        EXPECT_EQ(SettingsStore::clampCursorRevealRadius(r.radius), r.radius) << r.label;
}

} // namespace
} // namespace hg
