// The screens as data: which sections and rows show under which conditions,
// with which texts, and what a search leaves.
#include "ui/settings/settings_screens.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_i18n.h"
#include "ui/settings/hex_color.h"
#include "ui/settings/relative_date.h"

namespace hg {
namespace {

using testing::TestI18n;

std::vector<std::string> sectionIDs(const SettingsScreenModel& screen)
{
    std::vector<std::string> ids;
    for (const auto& s : screen.sections)
        ids.push_back(s.id);
    return ids;
}

const SettingsRowModel* findRow(const SettingsScreenModel& screen, std::string_view id)
{
    for (const auto& s : screen.sections)
        for (const auto& r : s.rows)
            if (r.id == id)
                return &r;
    return nullptr;
}

using Ids = std::vector<std::string>;

TEST(SettingsScreens, SearchKeepsMatchingSectionsOfEveryScreenWithoutHeaders)
{
    TestI18n t;
    SettingsState state;
    std::vector<std::string> hits;
    for (SettingsTab tab : kSettingsTabs) {
        const SettingsScreenModel screen = buildScreen(tab, state, t.i18n, "blur");
        EXPECT_FALSE(screen.showsHeader);
        for (const auto& s : screen.sections)
            hits.push_back(s.id);
    }
    EXPECT_EQ(hits, (Ids{"effect", "blur"}));

    EXPECT_EQ(sectionIDs(buildScreen(SettingsTab::appearance, state, t.i18n, "模糊 颜色")), (Ids{"color"}));
    // Blanks show every section that has keywords, but never the power-saving table.
    EXPECT_EQ(sectionIDs(buildScreen(SettingsTab::behavior, state, t.i18n, "   ")),
              (Ids{"excludedApps", "excludedDisplays", "fullScreen", "captures"}));
    EXPECT_EQ(sectionIDs(buildScreen(SettingsTab::behavior, state, t.i18n, "pause")), (Ids{"fullScreen"}));
    const auto all = buildScreen(SettingsTab::behavior, state, t.i18n, "");
    EXPECT_TRUE(all.showsHeader);
    EXPECT_EQ(all.sections.back().id, "power");
}

TEST(SettingsScreens, BlurRadiusShowsRoundedPointsAndTheWordOfTheUnroundedValue)
{
    TestI18n en;
    TestI18n zh(AppLanguage::zhHans);
    SettingsState state;
    state.blurRadius = 13.6;
    const SettingsScreenModel screen = buildScreen(SettingsTab::appearance, state, en.i18n, "");
    const auto* radius = findRow(screen, "blur.radius");
    ASSERT_TRUE(radius);
    EXPECT_EQ(radius->detail, "14 pt");
    EXPECT_EQ(radius->detailCaption, "Light");
    const auto caption = [&](const I18n& i18n) {
        return findRow(buildScreen(SettingsTab::appearance, state, i18n, ""), "blur.radius")->detailCaption;
    };
    EXPECT_EQ(caption(zh.i18n), "轻度");
    state.blurRadius = 40;
    EXPECT_EQ(caption(zh.i18n), "极强");
    state.blurRadius = 25.9;
    EXPECT_EQ(caption(en.i18n), "Medium");
}

TEST(SettingsScreens, FallbackRowOnlyWhileOnApproximatedAndBlurring)
{
    TestI18n t;
    SettingsState state;
    state.effectEnabled = true;
    state.usesVibrancy = true;
    auto screen = buildScreen(SettingsTab::appearance, state, t.i18n, "");
    EXPECT_EQ(screen.sections[0].rows[0].id, "blur.fallback");
    EXPECT_NE(findRow(screen, "blur.radius")->subtitle, "Higher is blurrier and costs more per frame.");
    for (auto change : {+[](SettingsState& s) { s.effectEnabled = false; },
                        +[](SettingsState& s) { s.usesVibrancy = false; },
                        +[](SettingsState& s) { s.blurEnabled = false; }}) {
        SettingsState other = state;
        change(other);
        screen = buildScreen(SettingsTab::appearance, other, t.i18n, "");
        EXPECT_EQ(screen.sections[0].rows[0].id, "blur.enabled");
        EXPECT_EQ(findRow(screen, "blur.radius")->subtitle, "Higher is blurrier and costs more per frame.");
    }
}

TEST(SettingsScreens, RadiusSliderIsDimmedWithoutBlurButColourStrengthIsNot)
{
    TestI18n t;
    SettingsState state;
    state.blurEnabled = false;
    const auto screen = buildScreen(SettingsTab::appearance, state, t.i18n, "");
    EXPECT_FALSE(findRow(screen, "blur.radius")->enabled);
    EXPECT_TRUE(findRow(screen, "color.amount")->enabled);
}

TEST(SettingsScreens, RevealRadiusRowOnlyWhileTheRevealIsOn)
{
    TestI18n t;
    SettingsState state;
    state.revealCursor = false;
    EXPECT_FALSE(findRow(buildScreen(SettingsTab::appearance, state, t.i18n, ""), "cursor.radius"));
    state.revealCursor = true;
    state.cursorRevealRadius = 125;
    const SettingsScreenModel screen = buildScreen(SettingsTab::appearance, state, t.i18n, "");
    const auto* row = findRow(screen, "cursor.radius");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->detail, "125 pt");
    EXPECT_EQ(row->range.minimum, 20);
    EXPECT_EQ(row->range.maximum, 400);
}

TEST(SettingsScreens, ExcludedDisplaysNeedASecondScreen)
{
    TestI18n t;
    SettingsState state;
    state.detectedScreens = {{"1001", 0, "DP-1", 1920, 1080}};
    auto rows = buildScreen(SettingsTab::behavior, state, t.i18n, "").sections[1].rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].title, "No other display detected");

    state.detectedScreens.push_back({"1002", 1, "HDMI-1", 1280, 1024});
    state.excludedDisplayIDs = {"1002"};
    rows = buildScreen(SettingsTab::behavior, state, t.i18n, "").sections[1].rows;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].title, "Display 1 · DP-1");
    EXPECT_EQ(rows[1].subtitle, "1280×1024");
    EXPECT_FALSE(rows[0].on);
    EXPECT_TRUE(rows[1].on);
}

TEST(SettingsScreens, ExcludedAppsAreSortedByNameWithTheCalloutAbove)
{
    TestI18n t;
    SettingsState state;
    auto section = buildScreen(SettingsTab::behavior, state, t.i18n, "").sections[0];
    EXPECT_FALSE(section.calloutAbove);
    EXPECT_EQ(section.rows.front().id, "excludedApps.empty");
    EXPECT_EQ(section.rows.back().subtitle, "No regular apps are running to add.");

    state.excludedApps = {{"org.b", "beta", ""}, {"org.a", "Alpha", ""}, {"org.c", "Gamma", ""}};
    state.hasAddCandidates = true;
    section = buildScreen(SettingsTab::behavior, state, t.i18n, "").sections[0];
    EXPECT_TRUE(section.calloutAbove);
    std::vector<std::string> names;
    for (const auto& r : section.rows)
        names.push_back(r.title);
    EXPECT_EQ(names, (Ids{"Alpha", "beta", "Gamma", "Add App"}));
    EXPECT_EQ(section.rows.back().subtitle, "Choose from the running apps.");
}

TEST(SettingsScreens, UpdateRowFollowsTheUpdaterStatus)
{
    TestI18n t;
    SettingsState state;
    state.now = 1'000'000;
    const auto updateRow = [&] { return *findRow(buildScreen(SettingsTab::about, state, t.i18n, ""), "updates.check"); };
    EXPECT_EQ(updateRow().subtitle, "Not checked yet.");
    state.lastUpdateCheckDate = state.now - 3 * 3600 - 5;
    EXPECT_EQ(updateRow().subtitle, "Last checked: 3 hours ago");
    state.automaticallyChecksForUpdates = false;
    EXPECT_EQ(updateRow().subtitle, "Click the button on the right to check for a newer version.");
    state.updateStatus = UpdaterController::Status::checking();
    EXPECT_EQ(updateRow().buttonTitle, "Checking…");
    EXPECT_FALSE(updateRow().enabled);
    state.updateStatus = UpdaterController::Status::updateAvailable("2.0");
    EXPECT_EQ(updateRow().buttonTitle, "Download & Install");
    EXPECT_EQ(updateRow().control, ControlKind::primaryButton);
    state.updateStatus = UpdaterController::Status::error("Could not reach the update server: timeout");
    EXPECT_EQ(updateRow().subtitle, "Could not reach the update server: timeout");
    state.updateStatus = UpdaterController::Status::upToDate();
    EXPECT_EQ(updateRow().subtitle, "You're up to date.");
}

TEST(SettingsScreens, IdentityCardShowsDashesForAMissingVersion)
{
    TestI18n zh(AppLanguage::zhHans);
    SettingsState state;
    state.version = "1.2";
    const auto card = *buildScreen(SettingsTab::about, state, zh.i18n, "").sections[0].identity;
    EXPECT_EQ(card.versionText, "版本 1.2（—）");
    EXPECT_FALSE(card.statusLit);
}

TEST(SettingsScreens, HintsNameLinuxKeysInBothLanguages)
{
    for (AppLanguage language : {AppLanguage::en, AppLanguage::zhHans}) {
        TestI18n t(language);
        SettingsState state;
        state.recordingAction = HotkeyAction::toggleBlur;
        const auto screen = buildScreen(SettingsTab::shortcuts, state, t.i18n, "");
        const auto [title, subtitle] = searchHeader(t.i18n, "x");
        for (const std::string& text : {screen.sections[0].rows[0].help, subtitle})
            for (const char* mac : {"⌘", "⌥", "⌃", "⇧", "⌫", "⎋"})
                EXPECT_EQ(text.find(mac), std::string::npos) << text;
        EXPECT_NE(subtitle.find("Esc"), std::string::npos);
    }
}

TEST(HexColor, SixDigitsWithOptionalHashAndBlanks)
{
    EXPECT_EQ(colorFromHex(" #4C7DF3\n"), (Color{0x4C / 255.0, 0x7D / 255.0, 0xF3 / 255.0, 1}));
    EXPECT_EQ(colorFromHex("ffffff"), Color::white());
    for (const char* bad : {"", "#", "#FFF", "##FFFFFF", "#FFFFFFF", "+FFFFF", "0xFFFF", "GGGGGG", "# FFFFFF"})
        EXPECT_FALSE(colorFromHex(bad)) << bad;
    EXPECT_EQ(hexText(*colorFromHex("#3a7afe")), "#3A7AFE");
}

TEST(HexColor, HueSaturationBrightnessRoundTrip)
{
    for (const char* hex : {"#3A7AFE", "#FF0000", "#00FF80", "#808080", "#000000", "#FF00FF"})
        EXPECT_EQ(hexText(fromHsb(toHsb(*colorFromHex(hex)))), hex);
}

TEST(RelativeDate, BothLanguages)
{
    const double now = 1'000'000;
    EXPECT_EQ(relativeDateText(now - 10, now, AppLanguage::en), "just now");
    EXPECT_EQ(relativeDateText(now + 500, now, AppLanguage::en), "just now");
    EXPECT_EQ(relativeDateText(now - 60, now, AppLanguage::en), "1 minute ago");
    EXPECT_EQ(relativeDateText(now - 3 * 3600, now, AppLanguage::zhHans), "3小时前");
    EXPECT_EQ(relativeDateText(now - 30 * 3600, now, AppLanguage::zhHans), "昨天");
    EXPECT_EQ(relativeDateText(now - 30 * 3600, now, AppLanguage::en), "yesterday");
    EXPECT_EQ(relativeDateText(now - 3 * 86400, now, AppLanguage::en), "3 days ago");
}

} // namespace
} // namespace hg
