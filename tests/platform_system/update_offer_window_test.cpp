// The offer window offscreen: what it shows, the choice each way of closing it
// makes, and release notes that name resources the window must not load.
#include "platform/system/update_offer_window.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "qt_test_app.h"

namespace hg {
namespace {

class English final : public PreferredLanguages {
public:
    std::vector<std::string> preferredLanguages() const override { return {"en-US"}; }
};

class UpdateOfferWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::ensureQtApplication(); }

    UpdateOffer offer(std::string notes = "<p>Faster blur.</p>", std::string page = "https://example.org/1.2")
    {
        return {{"1.2.0", "1.2", std::move(notes), std::move(page)}, "0.1.0"};
    }

    InMemoryDefaults defaults;
    NotificationCenter notifications;
    English languages;
    I18n i18n{defaults, notifications, languages};
    UpdateOfferWindow window{i18n};
    std::vector<UpdateChoice> choices;
    std::function<void(UpdateChoice)> record = [this](UpdateChoice c) { choices.push_back(c); };
};

TEST_F(UpdateOfferWindowTest, ShowsTheVersionsAndEachButtonClosesWithItsChoice)
{
    window.present(offer(), record);
    ASSERT_TRUE(window.dialog());
    EXPECT_TRUE(window.dialog()->isVisible());
    EXPECT_EQ(window.dialog()->windowTitle(), "Software Update");
    QStringList labels;
    for (QLabel* label : window.dialog()->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains("Hush Glass 1.2 is now available")) << labels.join("|").toStdString();
    EXPECT_TRUE(labels.contains("You have version 0.1.0.")) << labels.join("|").toStdString();
    EXPECT_EQ(window.notes()->toPlainText(), "Faster blur.");
    EXPECT_EQ(window.button(UpdateChoice::downloadAndInstall)->text(), "Download && Install");  // shown with one "&"

    for (UpdateChoice choice : {UpdateChoice::downloadAndInstall, UpdateChoice::skipThisVersion,
                                UpdateChoice::remindMeLater}) {
        window.present(offer(), record);
        window.button(choice)->click();
        EXPECT_FALSE(window.dialog()->isVisible());
    }
    window.present(offer(), record);
    window.dialog()->reject();  // the close button or Escape
    EXPECT_EQ(choices, (std::vector{UpdateChoice::downloadAndInstall, UpdateChoice::skipThisVersion,
                                    UpdateChoice::remindMeLater, UpdateChoice::remindMeLater}));
}

TEST_F(UpdateOfferWindowTest, ReleaseNotesLoadNothingTheyNameAndAMissingPageDisablesDownload)
{
    QTemporaryDir dir;
    QImage red(60, 60, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(dir.path() + "/red.png"));
    const std::string local = QUrl::fromLocalFile(dir.path() + "/red.png").toString().toStdString();
    window.present(offer("<p>New</p><img src=\"" + local + "\"><img src=\"" + dir.path().toStdString() +
                             "/red.png\"><img src=\"http://tracker.example/pixel.png\">",
                         ""),
                   record);

    const QImage shown = window.notes()->viewport()->grab().toImage();
    int redPixels = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            redPixels += shown.pixelColor(x, y) == QColor(Qt::red);
    EXPECT_EQ(redPixels, 0);
    EXPECT_FALSE(window.button(UpdateChoice::downloadAndInstall)->isEnabled());

    window.replace(offer());
    EXPECT_TRUE(window.button(UpdateChoice::downloadAndInstall)->isEnabled());
    EXPECT_TRUE(choices.empty());  // replacing is not closing
    if (const char* out = std::getenv("HUSHGLASS_SCREENSHOT"))
        window.dialog()->grab().save(out);
}

} // namespace
} // namespace hg
