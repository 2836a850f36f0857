// The effect's alerts as Qt message boxes, in the interface language, and the
// relaunch through /bin/sh.
//
// An alert with a host display is window-modal on that display's overlay (it
// is centred on the display and blocks nothing else of the program); without
// one it is application-modal. Main thread only.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <optional>
#include <functional>

#include "engine/controller/effect_ports.h"
#include "engine/windows/screens.h"
#include "ui/i18n/i18n.h"

class QMessageBox;

namespace hg {

class QtEffectAlerts final : public EffectAlerts {
public:
    QtEffectAlerts(const I18n& i18n, const ScreenSource& screens);
    ~QtEffectAlerts() override;

    void show(EffectAlert alert, std::optional<std::uint32_t> hostDisplay,
              std::function<void(bool firstButton)> done) override;
    void dismiss() override;
    void openScreenCaptureHelp() override;

private:
    const I18n& m_i18n;
    const ScreenSource& m_screens;
    QPointer<QMessageBox> m_shown;
};

// Starts `/bin/sh -c 'sleep 0.5; <wait for this process to end>; exec "$1"' sh
// <this executable> <this process id>`: the path travels as its own argument,
// so spaces and quotes in it are safe.
class ShellRelauncher final : public Relauncher {
public:
    // Relaunches `executable` (this program when empty) once process
    // `previousPID` (this one when absent) has ended.
    explicit ShellRelauncher(QString executable = {}, std::optional<qint64> previousPID = {});
    std::optional<std::string> relaunch() override;
    void quit() override;

    // The arguments of /bin/sh that reopen `executable` half a second later,
    // and not before process `previousPID` has ended.
    [[nodiscard]] static QStringList arguments(const QString& executable, qint64 previousPID);

private:
    QString m_executable;
    std::optional<qint64> m_previousPID;
};

} // namespace hg
