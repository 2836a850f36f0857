// The interface language: resolving "follow the system", persisting a choice,
// the change notification, and the translation table itself.
#include "ui/i18n/i18n.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ui/i18n/translation_table.h"

namespace hg {
namespace {

namespace keys = defaults_keys;
using Strings = std::vector<std::string>;

class FakePreferredLanguages final : public PreferredLanguages {
public:
    Strings preferredLanguages() const override { return languages; }
    Strings languages{"en-US"};
};

class I18nTest : public ::testing::Test {
protected:
    I18nTest()
    {
        m_counter = center.addObserver(std::string(kLanguageDidChangeNotification), [this] { ++posts; });
    }

    InMemoryDefaults defaults;
    NotificationCenter center;
    FakePreferredLanguages preferred;
    int posts = 0;

private:
    NotificationToken m_counter;
};

TEST(I18nResolveTest, FirstChineseOrEnglishEntryWinsAndChineseIsTheFallback)
{
    struct Case {
        Strings preferred;
        AppLanguage want;
    };
    for (const Case& c : {
             Case{{"de-DE", "en-US", "zh-Hans-CN"}, AppLanguage::en},
             Case{{"de-DE", "zh-Hant-TW", "en-US"}, AppLanguage::zhHans},
             Case{{"de-DE"}, AppLanguage::zhHans},
             Case{{}, AppLanguage::zhHans},
             Case{{"en"}, AppLanguage::en},
             Case{{"zh"}, AppLanguage::zhHans},
             Case{{"fr-FR", "", "en-GB"}, AppLanguage::en},
         }) {
        std::string list;
        for (const auto& tag : c.preferred)
            list += tag + " ";
        EXPECT_EQ(I18n::resolve(AppLanguage::system, c.preferred), c.want) << list;
    }
    EXPECT_EQ(I18n::resolve(AppLanguage::zhHans, {"en-US"}), AppLanguage::zhHans);
    EXPECT_EQ(I18n::resolve(AppLanguage::en, {"zh-Hans"}), AppLanguage::en);
}

TEST_F(I18nTest, StoredChoiceMatchesExactlyAndBringsAppleLanguagesIntoLine)
{
    struct Case {
        const char* stored;
        AppLanguage want;
        std::optional<Strings> appleLanguages;
    };
    for (const Case& c : {
             Case{"en", AppLanguage::en, Strings{"en"}},
             Case{"zhHans", AppLanguage::zhHans, Strings{"zh-Hans"}},
             Case{"EN", AppLanguage::system, std::nullopt},
             Case{"system", AppLanguage::system, std::nullopt},
             Case{"zh-Hans", AppLanguage::system, std::nullopt},
         }) {
        defaults.setString(keys::appLang, c.stored);
        defaults.setStringArray(keys::appleLanguages, {"fr"});
        I18n i18n(defaults, center, preferred);
        EXPECT_EQ(i18n.language(), c.want) << c.stored;
        EXPECT_EQ(defaults.stringArray(keys::appleLanguages), c.appleLanguages) << c.stored;
        EXPECT_EQ(defaults.stringValue(keys::appLang), c.stored);  // the choice itself is not rewritten
    }
    EXPECT_EQ(posts, 0);
}

TEST_F(I18nTest, MissingChoiceFollowsTheSystemAndReadsItAnew)
{
    I18n i18n(defaults, center, preferred);
    EXPECT_EQ(i18n.language(), AppLanguage::system);
    EXPECT_FALSE(defaults.hasObject(keys::appleLanguages));
    EXPECT_EQ(i18n.effectiveLanguage(), AppLanguage::en);
    preferred.languages = {"de-DE", "zh-Hant-TW", "en-US"};
    EXPECT_EQ(i18n.effectiveLanguage(), AppLanguage::zhHans);
    EXPECT_EQ(i18n.translate("通用"), "通用");
}

TEST_F(I18nTest, ChoosingALanguageWritesBothKeysAndPostsOnceAfterTheChange)
{
    I18n i18n(defaults, center, preferred);
    std::vector<std::string> seen;
    ScopedConnection will = i18n.objectWillChange.connect([&] { seen.push_back("will:" + i18n.translate("通用")); });
    center.addObserver(std::string(kLanguageDidChangeNotification), [&] {
        seen.push_back("posted:" + i18n.translate("通用"));
        seen.push_back(defaults.stringValue(keys::appLang).value_or("?"));
    });

    i18n.setLanguage(AppLanguage::zhHans);
    EXPECT_EQ(seen, (Strings{"will:General", "posted:通用", "zhHans"}));
    EXPECT_EQ(defaults.stringArray(keys::appleLanguages), Strings{"zh-Hans"});
    EXPECT_EQ(posts, 1);

    i18n.setLanguage(AppLanguage::en);
    EXPECT_EQ(defaults.stringArray(keys::appleLanguages), Strings{"en"});
    EXPECT_EQ(posts, 2);

    i18n.setLanguage(AppLanguage::system);
    EXPECT_EQ(posts, 3);
    EXPECT_FALSE(defaults.hasObject(keys::appleLanguages));
    EXPECT_EQ(defaults.stringValue(keys::appLang), "system");

    // The next launch starts with the last choice.
    I18n next(defaults, center, preferred);
    EXPECT_EQ(next.language(), AppLanguage::system);
}

TEST_F(I18nTest, LocaleChangePostsOnlyWhileFollowingTheSystem)
{
    auto i18n = std::make_unique<I18n>(defaults, center, preferred);
    center.post(kCurrentLocaleDidChangeNotification);
    EXPECT_EQ(posts, 1);

    i18n->setLanguage(AppLanguage::en);
    posts = 0;
    center.post(kCurrentLocaleDidChangeNotification);
    EXPECT_EQ(posts, 0);

    i18n->setLanguage(AppLanguage::system);
    posts = 0;
    i18n.reset();  // its observer goes with it
    center.post(kCurrentLocaleDidChangeNotification);
    EXPECT_EQ(posts, 0);
    EXPECT_EQ(center.observerCount(kCurrentLocaleDidChangeNotification), 0u);
}

TEST_F(I18nTest, TranslatesIntoTheEffectiveLanguageAndLeavesUnknownTextAlone)
{
    I18n i18n(defaults, center, preferred);
    i18n.setLanguage(AppLanguage::en);
    EXPECT_EQ(i18n.translate("显示菜单"), "Show Menu");
    EXPECT_EQ(i18n.translate("Hushglass设置"), "Hush Glass Settings");
    EXPECT_EQ(i18n.translate("外接显示器 2"), "外接显示器 2");
    EXPECT_EQ(i18n.translate(""), "");
    EXPECT_EQ(i18n.translate("全部设置中匹配「%@」的结果。按 Esc 清除。", {"blur"}),
              "Results across all settings matching “blur”. Press Esc to clear.");
    EXPECT_EQ(i18n.displayName(AppLanguage::system), "Follow System");
    EXPECT_EQ(i18n.displayName(AppLanguage::zhHans), "简体中文");

    i18n.setLanguage(AppLanguage::zhHans);
    EXPECT_EQ(i18n.translate("显示菜单"), "显示菜单");
    EXPECT_EQ(i18n.translate("全部设置中匹配「%@」的结果。按 ⎋ 清除。", {"模糊"}), "全部设置中匹配「模糊」的结果。按 ⎋ 清除。");
    EXPECT_EQ(i18n.displayName(AppLanguage::system), "跟随系统");
    EXPECT_EQ(i18n.displayName(AppLanguage::en), "English");
}

TEST(FormatTextTest, FillsPlaceholdersInOrder)
{
    EXPECT_EQ(formatText("%@ of %d", {"3", "7"}), "3 of 7");
    EXPECT_EQ(formatText("%d%%", {"40"}), "40%");
    EXPECT_EQ(formatText("%@ and %@", {"one"}), "one and %@");
    EXPECT_EQ(formatText("no placeholders", {"unused"}), "no placeholders");
    EXPECT_EQ(formatText("%s %", {"x"}), "%s %");
    EXPECT_EQ(formatText("%@", {"%d"}), "%d");  // arguments are not scanned again
}

// The placeholders of a text, in order: "@d" for "%@ … %d".
std::string placeholders(std::string_view text)
{
    std::string kinds;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        kinds += text[i + 1];
        ++i;
    }
    return kinds;
}

TEST(TranslationTableTest, KeysAreUniqueAndEveryRowKeepsItsPlaceholders)
{
    std::set<std::string_view> keys;
    for (const TranslationRow& row : translationTable()) {
        SCOPED_TRACE(std::string(row.chinese));
        EXPECT_TRUE(keys.insert(row.chinese).second) << "duplicate key";
        EXPECT_FALSE(row.chinese.empty());
        EXPECT_FALSE(row.english.empty());
        // The English text takes the same values, in the same order.
        EXPECT_EQ(placeholders(row.english), placeholders(row.chinese));
        for (char kind : placeholders(row.chinese))
            EXPECT_TRUE(kind == '@' || kind == 'd') << "unknown placeholder %" << kind;
        EXPECT_EQ(I18n::english(row.chinese), row.english);
    }
    EXPECT_GE(keys.size(), 150u);
}

} // namespace
} // namespace hg
