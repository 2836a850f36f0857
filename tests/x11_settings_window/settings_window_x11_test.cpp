// The settings window of the running program on a private X desktop: it
// opens from `hushglass --settings` and from the global shortcut and takes
// the keyboard focus, and a screen reader (AT-SPI) finds its controls by name.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "support/x_session.h"

namespace hg {
namespace {

class SettingsWindowX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing::XSession::available())
            GTEST_SKIP() << "Xvfb or openbox is missing";
        ASSERT_TRUE(m_config.isValid());
        QDir(m_config.path()).mkpath(QStringLiteral("hushglass"));
        QFile defaults(m_config.filePath(QStringLiteral("hushglass/defaults.json")));
        ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
        defaults.write(R"({"app.lang": "en", "revealCursor": true})");
    }

    // Runs `steps` in a private D-Bus session with the program started in it;
    // answers what the steps printed.
    std::string session(const std::string& steps)
    {
        testing::XSession x({.width = 1280, .height = 800, .windowManager = true});
        EXPECT_TRUE(x.ok()) << x.error();
        const std::string script =
            "export XDG_CONFIG_HOME='" + m_config.path().toStdString() + "' QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1\n"
            "[ -x /usr/libexec/at-spi-bus-launcher ] && /usr/libexec/at-spi-bus-launcher --launch-immediately "
            ">/dev/null 2>&1 &\n"
            "sleep 0.5\n" HUSHGLASS_BINARY " 2>/dev/null & APP=$!\n"
            "sleep 2\n" + steps + "\nkill $APP; wait $APP 2>/dev/null\nkill %1 2>/dev/null\n";
        std::string output;
        x.run({"dbus-run-session", "--", "sh", "-c", script}, &output);
        return output;
    }

    QTemporaryDir m_config;
};

// Polls the active window's title for up to 5 s.
constexpr const char* kActiveTitle =
    "for i in $(seq 50); do t=$(xdotool getactivewindow getwindowname 2>/dev/null); "
    "[ \"$t\" = 'Hush Glass Settings' ] && break; sleep 0.1; done; echo \"active: $t\"\n";

TEST_F(SettingsWindowX11Test, OpensFromTheCommandLineAndTheShortcutAndTakesTheFocus)
{
    // Opened, then covered by a terminal that takes the focus, then asked for
    // again by the shortcut: the open window must come back with the focus.
    // Closed, it opens afresh from the command line.
    const std::string out = session(std::string(HUSHGLASS_BINARY " --settings\n") + kActiveTitle +
                                    "xterm -title terminal -geometry 120x40+0+0 & XT=$!; sleep 1.5\n"
                                    "t=$(xdotool getactivewindow getwindowname 2>/dev/null); echo \"covered: $t\"\n"
                                    "xdotool key super+alt+comma\n" +
                                    kActiveTitle + "xdotool key ctrl+w; sleep 1\n"
                                    "t=$(xdotool getactivewindow getwindowname 2>/dev/null); echo \"closed: $t\"\n" +
                                    HUSHGLASS_BINARY " --settings\n" + kActiveTitle + "kill $XT");
    const auto first = out.find("active: Hush Glass Settings");
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_NE(out.find("covered: terminal"), std::string::npos) << out;
    const auto second = out.find("active: Hush Glass Settings", first + 1);
    EXPECT_NE(second, std::string::npos) << out;
    EXPECT_EQ(out.find("closed: Hush Glass Settings"), std::string::npos) << out;
    EXPECT_NE(out.find("active: Hush Glass Settings", second + 1), std::string::npos) << out;
}

TEST_F(SettingsWindowX11Test, ScreenReaderFindsTheControlsByName)
{
    if (!QFile::exists(QStringLiteral("/usr/libexec/at-spi-bus-launcher")) ||
        !QFile::exists(QStringLiteral("/usr/lib/python3/dist-packages/pyatspi")))
        GTEST_SKIP() << "at-spi2-core or python3-pyatspi is missing";
    const std::string dump = std::string("timeout 20 /usr/bin/python3 ") + ATSPI_DUMP_SCRIPT + "\n";
    const std::string out = session(std::string(HUSHGLASS_BINARY " --settings\nsleep 1.5\n") + dump +
                                    "xdotool key ctrl+2; sleep 0.7\n" + dump);
    for (const char* expected : {"frame \"Hush Glass Settings\"", "text \"Search…\"", "radio button \"General\" checked",
                                 "radio button \"About\"", "check box \"Enable Privacy Blur\"",
                                 "combo box \"Show Menu\"", "list item \"Open Settings\"",
                                 "check box \"Launch at Login\"", "radio button \"Appearance\" checked",
                                 "slider \"Blur Radius\" value=20", "slider \"Blur Color Strength\"",
                                 "slider \"Cursor Reveal Radius\"", "check box \"Gaussian Blur\" checked"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

} // namespace
} // namespace hg
