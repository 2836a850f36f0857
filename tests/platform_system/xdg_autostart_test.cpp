// The XDG autostart login item in a temporary config folder and a temporary
// installation prefix.
#include "platform/system/xdg_autostart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "base/log.h"

namespace hg {
namespace {

class XdgAutostartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir().mkpath(prefix() + "/bin");
        QDir().mkpath(prefix() + "/share/applications");
        write(prefix() + "/share/applications/hushglass.desktop", "[Desktop Entry]\n");
        m_previousSink = setLogSink([this](std::string_view line) { logged.emplace_back(line); });
    }
    void TearDown() override { setLogSink(std::move(m_previousSink)); }

    QString tempRoot() const { return m_dir.path(); }
    QString prefix() const { return m_dir.path() + "/usr local"; }
    QString configHome() const { return m_dir.path() + "/config"; }
    QString installedProgram() const { return prefix() + "/bin/hushglass"; }

    static void write(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::vector<std::string> logged;

private:
    QTemporaryDir m_dir;
    LogSink m_previousSink;
};

TEST_F(XdgAutostartTest, ABuildFolderCopyRegistersNothingAndLogsNothing)
{
    for (const QString& program : {tempRoot() + "/build/app/hushglass", tempRoot() + "/elsewhere/bin/hushglass"}) {
        XdgAutostartLoginItem service(program, configHome());
        LoginItem loginItem(service);
        EXPECT_FALSE(service.runsFromInstalledLocation()) << program.toStdString();
        EXPECT_FALSE(loginItem.apply(true));
        EXPECT_FALSE(QFile::exists(service.entryPath()));
    }
    EXPECT_TRUE(logged.empty());
}

TEST_F(XdgAutostartTest, RegisteringWritesAnEntryThatStartsTheInstalledProgramAndUnregisteringRemovesIt)
{
    XdgAutostartLoginItem service(installedProgram(), configHome());
    LoginItem loginItem(service);
    ASSERT_TRUE(service.runsFromInstalledLocation());
    EXPECT_EQ(service.entryPath(), configHome() + "/autostart/hushglass.desktop");

    EXPECT_TRUE(loginItem.apply(true));
    EXPECT_TRUE(loginItem.isRegistered());
    const QByteArray entry = read(service.entryPath());
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nExec=\"" + installedProgram().toUtf8() + "\"\n")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nType=Application\n"));
    EXPECT_EQ(QDir(configHome() + "/autostart").entryList(QDir::Files | QDir::Hidden), QStringList{"hushglass.desktop"});

    EXPECT_TRUE(loginItem.apply(false));
    EXPECT_FALSE(QFile::exists(service.entryPath()));
    EXPECT_TRUE(loginItem.apply(false));
    EXPECT_TRUE(logged.empty());
}

TEST_F(XdgAutostartTest, AHiddenEntryIsNotRegisteredAndAHandEditedOneIsKept)
{
    XdgAutostartLoginItem service(installedProgram(), configHome());
    LoginItem loginItem(service);
    const QByteArray edited = "[Desktop Entry]\nType=Application\nExec=hushglass --enable\nName=Mine\n"
                              "[Desktop Action x]\nHidden=true\n";
    write(service.entryPath(), edited);
    EXPECT_TRUE(loginItem.isRegistered());  // Hidden outside the main group does not count
    EXPECT_TRUE(loginItem.apply(true));
    EXPECT_EQ(read(service.entryPath()), edited);

    write(service.entryPath(), "[Desktop Entry]\nExec=hushglass\nHidden = true\n");
    EXPECT_FALSE(loginItem.isRegistered());
    EXPECT_TRUE(loginItem.apply(false));  // switched off already: left alone
    EXPECT_TRUE(QFile::exists(service.entryPath()));
    EXPECT_TRUE(loginItem.apply(true));  // switched on again by replacing it
    EXPECT_FALSE(read(service.entryPath()).contains("Hidden"));
    EXPECT_TRUE(loginItem.isRegistered());
}

TEST_F(XdgAutostartTest, AnUnwritableAutostartFolderIsLoggedOnceAndThePreferenceStays)
{
    // A file where the folder should be fails for every user, root included.
    write(configHome() + "/autostart", "not a folder");
    XdgAutostartLoginItem service(installedProgram(), configHome());
    LoginItem loginItem(service);
    InMemoryDefaults defaults;
    SettingsPreferences preferences(defaults, loginItem);

    preferences.setLaunchAtLogin(true);

    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].rfind("LoginItem: 注册/注销登录项失败: ", 0), 0u) << logged[0];
    EXPECT_TRUE(preferences.launchAtLogin());
    EXPECT_EQ(defaults.boolValue(defaults_keys::launchAtLogin), true);
}

TEST(XdgExecValueTest, QuotesAndEscapesPathsAsDesktopEntriesRequire)
{
    EXPECT_EQ(XdgAutostartLoginItem::execValue("/usr/bin/hushglass"), "/usr/bin/hushglass");
    EXPECT_EQ(XdgAutostartLoginItem::execValue("/opt/My Apps/bin/hushglass"), "\"/opt/My Apps/bin/hushglass\"");
    EXPECT_EQ(XdgAutostartLoginItem::execValue("/opt/a$b\"c/bin/hushglass"), "\"/opt/a\\\\$b\\\\\"c/bin/hushglass\"");
    EXPECT_EQ(XdgAutostartLoginItem::execValue("/opt/100%/bin/hushglass"), "/opt/100%%/bin/hushglass");
}

} // namespace
} // namespace hg
