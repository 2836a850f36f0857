#include "platform/shell/qt_effect_alerts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

namespace hg {
namespace {

struct AlertText {
    const char* message;
    const char* information;
    const char* firstButton;
    const char* secondButton;  // nullptr: one button
};

AlertText textOf(EffectAlert alert)
{
    switch (alert) {
    case EffectAlert::permission:
        return {"需要「屏幕捕获」能力",
                "隐私模糊通过截图来实现。请登录 X11 会话（而非 Wayland），并确认 X 服务器提供 Composite、Render 与 "
                "MIT-SHM 扩展，然后重新打开效果。",
                "打开屏幕捕获说明", "稍后"};
    case EffectAlert::restart:
        return {"需要重启Hushglass",
                "屏幕捕获现已可用，但当前进程只在启动时建立一次捕获——它拿不到画面，所以模糊不会有变化。重新打开应用即可。",
                "重新打开", "稍后"};
    case EffectAlert::relaunchFailed:
        return {"无法重新打开Hushglass", "启动新实例失败，已保持当前运行状态。请手动退出后重新打开。", "好", nullptr};
    }
    return {"", "", "好", nullptr};
}

// Where the README's section on screen capture is: next to the installed
// program, else in the source tree it was built from.
QUrl screenCaptureHelpUrl()
{
    const QString app = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {app + "/../share/doc/hushglass/README.md", app + "/../../README.md",
                                     QStringLiteral(HUSHGLASS_SOURCE_DIR "/README.md")}) {
        if (QFileInfo::exists(candidate)) {
            QUrl url = QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath());
            url.setFragment("screen-capture");
            return url;
        }
    }
    return {};
}

} // namespace

QtEffectAlerts::QtEffectAlerts(const I18n& i18n, const ScreenSource& screens) : m_i18n(i18n), m_screens(screens) {}

QtEffectAlerts::~QtEffectAlerts()
{
    dismiss();
}

void QtEffectAlerts::show(EffectAlert alert, std::optional<std::uint32_t> hostDisplay,
                          std::function<void(bool firstButton)> done)
{
    dismiss();
    const AlertText text = textOf(alert);
    auto* box = new QMessageBox(QMessageBox::Warning, m_i18n.translate("Hushglass").c_str(),
                                QString::fromStdString(m_i18n.translate(text.message)));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(QString::fromStdString(m_i18n.translate(text.information)));
    QPushButton* first = box->addButton(QString::fromStdString(m_i18n.translate(text.firstButton)),
                                        QMessageBox::AcceptRole);
    if (text.secondButton)
        box->addButton(QString::fromStdString(m_i18n.translate(text.secondButton)), QMessageBox::RejectRole);
    box->setDefaultButton(first);
    // Overlays are not Qt windows: "window-modal on the host overlay" becomes
    // a box centred on that display that blocks nothing else.
    const auto bounds = hostDisplay ? m_screens.displayBounds(*hostDisplay) : std::nullopt;
    box->setWindowModality(bounds ? Qt::NonModal : Qt::ApplicationModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    QObject::connect(box, &QMessageBox::finished, box, [box, first, done = std::move(done)](int) {
        if (done)
            done(box->clickedButton() == first);
    });
    box->adjustSize();
    if (bounds)
        box->move(static_cast<int>(bounds->midX() - box->width() / 2.0),
                  static_cast<int>(bounds->midY() - box->height() / 2.0));
    m_shown = box;
    box->show();
    box->raise();
    box->activateWindow();
}

void QtEffectAlerts::dismiss()
{
    if (!m_shown)
        return;
    QMessageBox* box = m_shown;
    m_shown = nullptr;
    QObject::disconnect(box, &QMessageBox::finished, nullptr, nullptr);
    box->close();
}

void QtEffectAlerts::openScreenCaptureHelp()
{
    const QUrl url = screenCaptureHelpUrl();
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

ShellRelauncher::ShellRelauncher(QString executable, std::optional<qint64> previousPID)
    : m_executable(std::move(executable)), m_previousPID(previousPID)
{
}

QStringList ShellRelauncher::arguments(const QString& executable, qint64 previousPID)
{
    // The new copy starts once this one has gone (it would otherwise find the
    // single-instance claim still held and leave), however long quitting takes;
    // after a minute it starts anyway.
    return {"-c",
            "sleep 0.5; n=0; while [ \"$2\" -gt 0 ] && kill -0 \"$2\" 2>/dev/null && [ $n -lt 600 ]; do sleep 0.1; n=$((n+1)); done; "
            "exec \"$1\"",
            "sh", executable, QString::number(previousPID)};
}

std::optional<std::string> ShellRelauncher::relaunch()
{
    const QString executable = m_executable.isEmpty() ? QCoreApplication::applicationFilePath() : m_executable;
    if (!QProcess::startDetached("/bin/sh", arguments(executable, m_previousPID.value_or(QCoreApplication::applicationPid()))))
        return QStringLiteral("could not start /bin/sh to reopen %1").arg(executable).toStdString();
    return std::nullopt;
}

void ShellRelauncher::quit()
{
    QCoreApplication::quit();
}

} // namespace hg
