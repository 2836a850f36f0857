// The window that offers a newer version: its version, the release notes and
// three choices ("Download & Install", "Skip This Version", "Remind Me Later";
// closing the window counts as the last). Release notes are shown as rich
// text; the window loads no resource the notes name (no remote images, no
// local files) and follows only https links, in the browser.
//
// Created once by the application; main thread only. The updater posts the
// modal notifications around it.
#pragma once

#include <QDesktopServices>
#include <QDialog>
#include <QPointer>
#include <QTextBrowser>
#include <functional>

#include "system/appcast_updater.h"
#include "ui/i18n/i18n.h"

class QLabel;
class QPushButton;

namespace hg {

// A text browser that never loads what the text refers to.
class ReleaseNotesView final : public QTextBrowser {
    Q_OBJECT
public:
    explicit ReleaseNotesView(QWidget* parent = nullptr);
    // Always nothing: remote images would tell a server that the notes were
    // read, and local files have no business in them.
    QVariant loadResource(int type, const QUrl& name) override;
};

class UpdateOfferWindow final : public QObject, public UpdateOfferPresenter {
    Q_OBJECT
public:
    explicit UpdateOfferWindow(const I18n& i18n, QObject* parent = nullptr);
    ~UpdateOfferWindow() override;

    void present(const UpdateOffer& offer, std::function<void(UpdateChoice)> onClose) override;
    void replace(const UpdateOffer& offer) override;

    // The dialog while it exists (for tests): null before the first offer.
    [[nodiscard]] QDialog* dialog() const { return m_dialog; }
    [[nodiscard]] ReleaseNotesView* notes() const { return m_notes; }
    [[nodiscard]] QPushButton* button(UpdateChoice choice) const;

private:
    void build();
    void fill(const UpdateOffer& offer);
    void choose(UpdateChoice choice);

    const I18n& m_i18n;
    QPointer<QDialog> m_dialog;
    QLabel* m_heading = nullptr;
    QLabel* m_current = nullptr;
    ReleaseNotesView* m_notes = nullptr;
    QPushButton* m_download = nullptr;
    QPushButton* m_skip = nullptr;
    QPushButton* m_later = nullptr;
    UpdateChoice m_choice = UpdateChoice::remindMeLater;
    std::function<void(UpdateChoice)> m_onClose;
};

class DesktopUrlOpener final : public UrlOpener {
public:
    // Opens https addresses only, in the user's browser.
    void open(const std::string& url) override;
};

} // namespace hg
