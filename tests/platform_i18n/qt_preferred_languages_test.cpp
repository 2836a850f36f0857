// The system's preferred languages as Qt reads them from the environment, and
// the locale-change notification.
#include "platform/i18n/qt_preferred_languages.h"

#include <algorithm>

#include <QCoreApplication>
#include <QEvent>
#include <gtest/gtest.h>

namespace hg {
namespace {

class QtPreferredLanguagesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "qt_preferred_languages_test";
        static char* argv[] = {name, nullptr};
        // A German desktop whose user put English first and Chinese second.
        qputenv("LANGUAGE", "en_GB:zh_CN");
        qunsetenv("LC_ALL");
        qunsetenv("LC_MESSAGES");
        qputenv("LANG", "de_DE.UTF-8");
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
};

TEST_F(QtPreferredLanguagesTest, TheLanguageListComesFirstInItsOrder)
{
    const std::vector<std::string> languages = QtPreferredLanguages().preferredLanguages();
    ASSERT_FALSE(languages.empty());
    EXPECT_EQ(languages.front(), "en-GB");
    const auto chinese = std::find_if(languages.begin(), languages.end(),
                                      [](const std::string& tag) { return tag.rfind("zh", 0) == 0; });
    EXPECT_NE(chinese, languages.end());
    EXPECT_EQ(I18n::resolve(AppLanguage::system, languages), AppLanguage::en);
}

TEST_F(QtPreferredLanguagesTest, ALocaleChangeOfTheApplicationIsPosted)
{
    NotificationCenter center;
    int posted = 0;
    const NotificationToken token =
        center.addObserver(std::string(kCurrentLocaleDidChangeNotification), [&] { ++posted; });
    QObject other;
    {
        LocaleChangeWatcher watcher(center, QCoreApplication::instance());
        QEvent change(QEvent::LocaleChange);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
        EXPECT_EQ(posted, 1);
        QEvent elsewhere(QEvent::LocaleChange);
        QCoreApplication::sendEvent(&other, &elsewhere);  // another object's locale
        QEvent unrelated(QEvent::LanguageChange);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &unrelated);
        EXPECT_EQ(posted, 1);
    }
    QEvent after(QEvent::LocaleChange);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &after);  // the watcher is gone
    EXPECT_EQ(posted, 1);
    center.removeObserver(token);
}

} // namespace
} // namespace hg
