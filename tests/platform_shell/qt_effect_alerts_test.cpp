// The effect's alerts as Qt message boxes, on Qt's offscreen platform: their
// texts and buttons, Escape, where they appear, and taking them down.
#include "platform/shell/qt_effect_alerts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "base/defaults.h"
#include "base/notification_center.h"
#include "support/fakes/fake_screens.h"

namespace hg {
namespace {

class EnglishSystem final : public PreferredLanguages {
public:
    std::vector<std::string> preferredLanguages() const override { return {"en-GB"}; }
};

class QtEffectAlertsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "qt_effect_alerts_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            new QApplication(argc, argv);
        }
    }

    QtEffectAlertsTest()
    {
        screens.add(1, {0, 0, 1440, 900});
        screens.add(2, {1440, 0, 1920, 1080});
    }
    ~QtEffectAlertsTest() override { settle(); }

    // Runs posted events, deferred deletions included.
    static void settle()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }
    // The alert on screen, or nullptr.
    static QMessageBox* shownBox()
    {
        QMessageBox* found = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                EXPECT_FALSE(found) << "more than one alert is shown";
                found = box;
            }
        return found;
    }
    static QStringList buttonTexts(QMessageBox* box)
    {
        QStringList texts;
        for (QAbstractButton* button : box->buttons())
            texts << button->text();
        texts.sort();
        return texts;
    }
    static void press(QWidget* widget, int key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
    // Shows `alert` and records each answer.
    void show(EffectAlert alert, std::optional<std::uint32_t> host = std::nullopt)
    {
        alerts.show(alert, host, [this](bool first) { answers.push_back(first); });
        settle();
    }

    InMemoryDefaults defaults;
    NotificationCenter center;
    EnglishSystem english;
    I18n i18n{defaults, center, english};
    testing::FakeScreens screens;
    QtEffectAlerts alerts{i18n, screens};
    std::vector<bool> answers;
};

TEST_F(QtEffectAlertsTest, EachAlertHasItsButtonsAndAnswersWhichWasChosen)
{
    show(EffectAlert::permission, 2);
    QMessageBox* box = shownBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Screen capture required");
    EXPECT_EQ(buttonTexts(box), (QStringList{"Later", "Open Screen Capture Help"}));
    ASSERT_TRUE(box->defaultButton());
    EXPECT_EQ(box->defaultButton()->text(), "Open Screen Capture Help");
    box->defaultButton()->click();
    settle();
    EXPECT_EQ(answers, std::vector<bool>{true});
    EXPECT_FALSE(shownBox());

    show(EffectAlert::restart);
    box = shownBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Restart Hush Glass required");
    EXPECT_EQ(buttonTexts(box), (QStringList{"Later", "Reopen"}));
    for (QAbstractButton* button : box->buttons())
        if (button->text() == "Later")
            button->click();
    settle();
    EXPECT_EQ(answers, (std::vector<bool>{true, false}));

    show(EffectAlert::relaunchFailed);
    box = shownBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Could not reopen Hush Glass");
    EXPECT_EQ(buttonTexts(box), QStringList{"OK"});
    box->buttons().front()->click();
    settle();
    EXPECT_EQ(answers, (std::vector<bool>{true, false, true}));
}

TEST_F(QtEffectAlertsTest, EscapeChoosesLater)
{
    show(EffectAlert::restart, 1);
    QMessageBox* box = shownBox();
    ASSERT_TRUE(box);
    press(box, Qt::Key_Escape);
    settle();
    EXPECT_EQ(answers, std::vector<bool>{false});
    EXPECT_FALSE(shownBox());

    // An alert with one button is closed by Escape too.
    show(EffectAlert::relaunchFailed);
    box = shownBox();
    ASSERT_TRUE(box);
    press(box, Qt::Key_Escape);
    settle();
    EXPECT_EQ(answers.size(), 2u);
    EXPECT_FALSE(shownBox());
}

TEST_F(QtEffectAlertsTest, AnAlertWithAHostDisplayIsCentredOnItAndBlocksNothing)
{
    show(EffectAlert::permission, 2);
    QMessageBox* box = shownBox();
    ASSERT_TRUE(box);
    const QPoint centre = box->frameGeometry().center();
    EXPECT_NEAR(centre.x(), 1440 + 960, 1);
    EXPECT_NEAR(centre.y(), 540, 1);
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
    alerts.dismiss();

    // Without one (or with a display that is gone) it blocks the program.
    show(EffectAlert::restart, 7);
    box = shownBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(QtEffectAlertsTest, ADismissedOrReplacedAlertGoesWithoutAnAnswer)
{
    show(EffectAlert::permission, 1);
    ASSERT_TRUE(shownBox());
    alerts.dismiss();
    settle();
    EXPECT_FALSE(shownBox());
    alerts.dismiss();  // nothing shown: nothing happens

    show(EffectAlert::permission, 1);
    show(EffectAlert::restart, 1);  // replaces the first
    QMessageBox* box = shownBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Restart Hush Glass required");
    EXPECT_TRUE(answers.empty());

    // Closed from its title bar it answers as "Later" does.
    box->close();
    settle();
    EXPECT_EQ(answers, std::vector<bool>{false});

    // An alert goes with its owner, without an answer.
    {
        QtEffectAlerts other{i18n, screens};
        other.show(EffectAlert::relaunchFailed, std::nullopt, [this](bool first) { answers.push_back(first); });
        settle();
        ASSERT_TRUE(shownBox());
    }
    settle();
    EXPECT_FALSE(shownBox());
    EXPECT_EQ(answers, std::vector<bool>{false});
}

} // namespace
} // namespace hg
