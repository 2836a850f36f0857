#include "platform/system/update_offer_window.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace hg {
namespace {

QString localized(const I18n& i18n, std::string_view chinese, const std::vector<std::string>& arguments = {})
{
    return QString::fromStdString(arguments.empty() ? i18n.translate(chinese) : i18n.translate(chinese, arguments));
}

// A button shows "&" only when doubled; a single one marks a shortcut letter.
QString buttonText(const I18n& i18n, std::string_view chinese)
{
    return localized(i18n, chinese).replace(u'&', QStringLiteral("&&"));
}

bool openHttps(const QUrl& url)
{
    if (!url.isValid() || url.scheme() != QLatin1String("https"))
        return false;
    return QDesktopServices::openUrl(url);
}

} // namespace

ReleaseNotesView::ReleaseNotesView(QWidget* parent) : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& url) { openHttps(url); });
}

QVariant ReleaseNotesView::loadResource(int type, const QUrl&)
{
    // An empty answer would let the document read local files by itself, so
    // answer with something that shows nothing.
    if (type == QTextDocument::ImageResource) {
        QImage blank(1, 1, QImage::Format_ARGB32);
        blank.fill(Qt::transparent);
        return blank;
    }
    return QByteArray();
}

UpdateOfferWindow::UpdateOfferWindow(const I18n& i18n, QObject* parent) : QObject(parent), m_i18n(i18n) {}

UpdateOfferWindow::~UpdateOfferWindow()
{
    if (m_dialog) {
        m_dialog->disconnect(this);
        delete m_dialog;
    }
}

void UpdateOfferWindow::build()
{
    m_dialog = new QDialog;
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->resize(560, 420);
    auto* layout = new QVBoxLayout(m_dialog);
    m_heading = new QLabel;
    m_heading->setTextFormat(Qt::PlainText);
    QFont font = m_heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    m_heading->setFont(font);
    m_current = new QLabel;
    m_current->setTextFormat(Qt::PlainText);
    auto* notesTitle = new QLabel(localized(m_i18n, "更新说明"));
    m_notes = new ReleaseNotesView;
    layout->addWidget(m_heading);
    layout->addWidget(m_current);
    layout->addSpacing(8);
    layout->addWidget(notesTitle);
    layout->addWidget(m_notes, 1);

    m_skip = new QPushButton(buttonText(m_i18n, "跳过此版本"));
    m_later = new QPushButton(buttonText(m_i18n, "稍后提醒我"));
    m_download = new QPushButton(buttonText(m_i18n, "下载并安装"));
    m_download->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_skip);
    buttons->addStretch(1);
    buttons->addWidget(m_later);
    buttons->addWidget(m_download);
    layout->addLayout(buttons);

    connect(m_skip, &QPushButton::clicked, this, [this] { choose(UpdateChoice::skipThisVersion); });
    connect(m_later, &QPushButton::clicked, this, [this] { choose(UpdateChoice::remindMeLater); });
    connect(m_download, &QPushButton::clicked, this, [this] { choose(UpdateChoice::downloadAndInstall); });
    connect(m_dialog, &QDialog::finished, this, [this] {
        if (auto onClose = std::exchange(m_onClose, nullptr))
            onClose(std::exchange(m_choice, UpdateChoice::remindMeLater));
    });
}

void UpdateOfferWindow::fill(const UpdateOffer& offer)
{
    m_dialog->setWindowTitle(localized(m_i18n, "软件更新"));
    m_heading->setText(localized(m_i18n, "Hushglass %@ 现已推出", {offer.item.displayVersion}));
    m_current->setText(localized(m_i18n, "你当前的版本是 %@。", {offer.currentVersion}));
    m_notes->setHtml(QString::fromStdString(offer.item.releaseNotesHtml));
    m_download->setEnabled(!offer.item.downloadPage.empty());
}

void UpdateOfferWindow::present(const UpdateOffer& offer, std::function<void(UpdateChoice)> onClose)
{
    if (!m_dialog)
        build();
    m_onClose = std::move(onClose);
    m_choice = UpdateChoice::remindMeLater;
    fill(offer);
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void UpdateOfferWindow::replace(const UpdateOffer& offer)
{
    if (!m_dialog)
        return;
    fill(offer);
    m_dialog->raise();
    m_dialog->activateWindow();
}

QPushButton* UpdateOfferWindow::button(UpdateChoice choice) const
{
    switch (choice) {
    case UpdateChoice::downloadAndInstall: return m_download;
    case UpdateChoice::skipThisVersion: return m_skip;
    case UpdateChoice::remindMeLater: return m_later;
    }
    return nullptr;
}

void UpdateOfferWindow::choose(UpdateChoice choice)
{
    m_choice = choice;
    m_dialog->accept();
}

void DesktopUrlOpener::open(const std::string& url)
{
    openHttps(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

} // namespace hg
