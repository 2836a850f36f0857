// The everyday controls of a running Hushglass: the tray icon in an XEmbed
// tray (trayer), the global shortcuts typed with xdotool while an xterm has
// the focus, D-Bus and the command line, and all of it without a tray.
#include <QCoreApplication>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QVariantMap>
#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>
#include <thread>
#include <xcb/xcb_keysyms.h>

#include "e2e_desktop.h"
#include "private_bus.h"

namespace hg::testing {
namespace {

using namespace std::chrono_literals;

// Hears PropertiesChanged of the program's object.
class PropertyRecorder : public QObject {
    Q_OBJECT
public:
    QStringList changed;  // property names, in order
public Q_SLOTS:
    void propertiesChanged(const QString&, const QVariantMap& properties, const QStringList&)
    {
        for (auto it = properties.begin(); it != properties.end(); ++it)
            changed << it.key();
    }
};

// Waits while the Qt event loop runs (the bus delivers from it).
bool eventuallyServing(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 8s)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeout.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 40);
        if (condition())
            return true;
    }
    return condition();
}

struct IconWindow {
    int x = 0, y = 0, width = 0, height = 0;  // root coordinates
};

class ControlsE2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XSession::available() || !PrivateBus::available())
            GTEST_SKIP() << "Xvfb, openbox or dbus-daemon is not installed";
        ensureApplication();
        bus = std::make_unique<PrivateBus>();
        ASSERT_TRUE(bus->ok());
        // The program and every command run here use the private bus.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus->address().c_str(), 1);
        connection = std::make_unique<QDBusConnection>(bus->connect("test"));
        desk = std::make_unique<E2eDesktop>();
        ASSERT_TRUE(desk->ok()) << desk->error();
    }
    void TearDown() override
    {
        if (desk)
            desk->stopProgram();
        desk.reset();
        connection.reset();
        bus.reset();
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    void startTray()
    {
        desk->session().spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                               "120", "--height", "32", "--SetDockType", "true"});
    }
    void start(const std::string& defaults)
    {
        desk->writeDefaults(defaults);
        ASSERT_TRUE(desk->startProgram()) << desk->programOutput();
    }
    std::string run(const std::vector<std::string>& argv, int* status = nullptr)
    {
        std::string out;
        const int s = desk->session().run(argv, &out);
        if (status)
            *status = s;
        return out;
    }
    void type(const std::string& keys) { ASSERT_EQ(desk->session().run({"xdotool", "key", keys}), 0); }
    // A visible window titled as the settings window is, in either language.
    bool settingsWindowShown()
    {
        return desk->session().run({"xdotool", "search", "--onlyvisible", "--name", "Hush Glass Settings|Hushglass设置"}) == 0;
    }

    // The tray icon: a window of class "hushglass" inside the tray's panel.
    std::optional<IconWindow> icon()
    {
        const std::string tree = run({"xwininfo", "-root", "-tree"});
        static const std::regex line(R"re(\("hushglass" "hushglass"\)\s+(\d+)x(\d+)\S*\s+\+(-?\d+)\+(-?\d+))re");
        std::smatch m;
        if (!std::regex_search(tree, m, line))
            return std::nullopt;
        IconWindow w{std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[1]), std::stoi(m[2])};
        if (w.width > 64 || w.height > 64)
            return std::nullopt;  // not an icon
        return w;
    }
    // The icon once the tray has placed it: the same place twice in a row.
    std::optional<IconWindow> placedIcon()
    {
        std::optional<IconWindow> last;
        const bool placed = eventually(
            [&] {
                const auto now = icon();
                const bool same = now && last && now->x == last->x && now->y == last->y && now->width == last->width;
                last = now;
                if (!same)
                    std::this_thread::sleep_for(200ms);
                return same;
            },
            8s);
        return placed ? last : std::nullopt;
    }
    void click(const IconWindow& w, int button)
    {
        ASSERT_EQ(desk->session().run({"xdotool", "mousemove", std::to_string(w.x + w.width / 2),
                                       std::to_string(w.y + w.height / 2), "click", std::to_string(button)}),
                  0);
    }
    // Visible windows of the program other than the icon: its open menus.
    int openMenus()
    {
        int menus = 0;
        const std::string tree = run({"xwininfo", "-root", "-tree"});
        static const std::regex line(R"re(\("hushglass" "hushglass"\)\s+(\d+)x(\d+))re");
        for (auto it = std::sregex_iterator(tree.begin(), tree.end(), line); it != std::sregex_iterator(); ++it)
            if (std::stoi((*it)[2]) > 64)
                ++menus;
        return menus;
    }

    std::optional<bool> enabled()
    {
        QDBusInterface properties("io.hushglass.Hushglass", "/io/hushglass/Hushglass",
                                  "org.freedesktop.DBus.Properties", *connection);
        const QDBusReply<QVariant> reply = properties.call("Get", "io.hushglass.Hushglass", "Enabled");
        if (!reply.isValid())
            return std::nullopt;
        return reply.value().toBool();
    }
    bool becomes(bool on) { return eventuallyServing([&] { return enabled() == on; }); }
    QDBusMessage call(const QString& method, const QVariantList& arguments = {})
    {
        QDBusInterface hushglass("io.hushglass.Hushglass", "/io/hushglass/Hushglass", "io.hushglass.Hushglass",
                                 *connection);
        return hushglass.callWithArgumentList(QDBus::Block, method, arguments);
    }
    void screenshot(const std::string& name)
    {
        desk->screenshot().save(std::string(SCREENSHOT_DIR) + "/" + name + ".png");
    }

    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<QDBusConnection> connection;
    std::unique_ptr<E2eDesktop> desk;
};

TEST_F(ControlsE2eTest, TheTrayIconTogglesOnALeftClickAndOpensTheMenuOnARightClick)
{
    startTray();
    for (const char* language : {"en", "zh-Hans"}) {
        start(std::string(R"({"settings.menuBarClickAction": "toggleBlur", "app.lang": ")") + language + "\"}");
        const std::optional<IconWindow> w = placedIcon();
        ASSERT_TRUE(w) << run({"xwininfo", "-root", "-tree"});
        ASSERT_TRUE(becomes(false));

        click(*w, 1);
        EXPECT_TRUE(becomes(true)) << desk->programOutput();
        EXPECT_EQ(openMenus(), 0);

        click(*w, 3);
        ASSERT_TRUE(eventually([&] { return openMenus() == 1; }, 5s));
        screenshot(std::string("tray_menu_") + language);
        // The first item switches the effect off again.
        type("Down");
        type("Return");
        EXPECT_TRUE(becomes(false)) << desk->programOutput();
        EXPECT_TRUE(eventually([&] { return openMenus() == 0; }, 5s));
        EXPECT_EQ(desk->stopProgram(), 0);
    }
}

TEST_F(ControlsE2eTest, WithTheMenuAsClickActionALeftClickOpensItAndCtrlQQuits)
{
    startTray();
    start(R"({"settings.menuBarClickAction": "showMenu", "app.lang": "en", "enabled": true})");
    const std::optional<IconWindow> w = placedIcon();
    ASSERT_TRUE(w) << run({"xwininfo", "-root", "-tree"});
    ASSERT_TRUE(becomes(true));
    click(*w, 1);
    ASSERT_TRUE(eventually([&] { return openMenus() == 1; }, 5s));
    EXPECT_EQ(enabled(), true);
    type("ctrl+q");
    EXPECT_TRUE(eventually([&] { return !desk->programRunning(); }, 5s)) << desk->programOutput();
    EXPECT_NE(desk->programOutput().find("Hushglass: quitting"), std::string::npos);
}

TEST_F(ControlsE2eTest, SuperAltBTogglesWhileAnXtermHasTheFocusAlsoWithNumLockOn)
{
    start(R"({"app.lang": "en"})");
    desk->session().spawn({"xterm", "-geometry", "60x10+100+100"});
    ASSERT_EQ(desk->session().run({"xdotool", "search", "--sync", "--class", "xterm", "windowactivate", "--sync"}), 0);
    ASSERT_TRUE(becomes(false));

    type("super+alt+b");
    EXPECT_TRUE(becomes(true));
    EXPECT_TRUE(eventually([&] { return !desk->overlays().empty() && desk->overlays()[0].mapped; }, 5s));
    type("Num_Lock");
    type("super+alt+b");
    EXPECT_TRUE(becomes(false));
    type("Num_Lock");

    // Super+Alt+, opens the settings window.
    type("super+alt+comma");
    EXPECT_TRUE(eventually([&] { return settingsWindowShown(); }, 5s));
}

TEST_F(ControlsE2eTest, ACombinationAnotherProgramHoldsIsRefusedQuietlyWhileTheOthersWork)
{
    // Another program grabs Super+Alt+B first.
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(desk->connection());
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, 'b');
    ASSERT_TRUE(codes);
    xcb_grab_key(desk->connection(), 0, desk->root(), XCB_MOD_MASK_4 | XCB_MOD_MASK_1, codes[0], XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    std::free(codes);
    xcb_key_symbols_free(symbols);
    desk->sync();

    start(R"({"app.lang": "en"})");
    const std::string startup = desk->programOutput();
    type("super+alt+b");
    type("super+alt+b");
    type("super+alt+comma");
    EXPECT_TRUE(eventually([&] { return settingsWindowShown(); }, 5s));
    EXPECT_EQ(enabled(), false);
    // Nothing about the refused combination, neither at start nor per press.
    const std::string later = desk->programOutput().substr(startup.size());
    EXPECT_EQ(later, "");
    EXPECT_EQ(startup.find("grab"), std::string::npos) << startup;
}

TEST_F(ControlsE2eTest, DBusMethodsAndTheCommandLineDriveTheRunningCopy)
{
    int status = -1;
    run({HUSHGLASS_BINARY, "--status"}, &status);
    EXPECT_EQ(status, 1) << "no copy runs yet";

    start(R"({"app.lang": "en", "blurRadius": 40})");
    PropertyRecorder recorder;
    ASSERT_TRUE(connection->connect("io.hushglass.Hushglass", "/io/hushglass/Hushglass",
                                    "org.freedesktop.DBus.Properties", "PropertiesChanged", &recorder,
                                    SLOT(propertiesChanged(QString, QVariantMap, QStringList))));

    // Changes made elsewhere (here by the shortcut) are announced too.
    type("super+alt+b");
    EXPECT_TRUE(eventuallyServing([&] { return recorder.changed.contains("Enabled"); }));
    type("super+alt+b");
    ASSERT_TRUE(becomes(false));
    recorder.changed.clear();

    EXPECT_EQ(call("Toggle").type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(becomes(true));
    EXPECT_TRUE(eventuallyServing([&] { return recorder.changed.contains("Enabled"); }));
    EXPECT_EQ(run({HUSHGLASS_BINARY, "--status"}, &status), "on, blur radius 40 pt\n");
    EXPECT_EQ(status, 0);

    // The strength cycles from the last level to the first.
    EXPECT_EQ(call("PerformAction", {4}).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(eventuallyServing([&] { return recorder.changed.contains("BlurRadius"); }));
    EXPECT_EQ(call("PerformAction", {3}).type(), QDBusMessage::ErrorMessage);

    for (const auto& [option, expected] : std::vector<std::pair<std::string, std::string>>{
             {"--disable", "off, blur radius 10 pt\n"},
             {"--disable", "off, blur radius 10 pt\n"},
             {"--toggle", "on, blur radius 10 pt\n"},
             {"--enable", "on, blur radius 10 pt\n"}}) {
        run({HUSHGLASS_BINARY, option}, &status);
        EXPECT_EQ(status, 0) << option;
        EXPECT_EQ(run({HUSHGLASS_BINARY, "--status"}), expected) << option;
    }
    run({HUSHGLASS_BINARY, "--settings"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(eventually([&] { return settingsWindowShown(); }, 5s));
    // The check's outcome shows on the settings window's About screen.
    run({HUSHGLASS_BINARY, "--check-for-updates"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(eventually(
        [&] { return desk->programOutput().find("Hushglass: the update check failed: ") != std::string::npos; },
        5s));
    // The toggle was remembered like the tray's: the next start is on.
    EXPECT_EQ(desk->stopProgram(), 0);
    run({HUSHGLASS_BINARY, "--toggle"}, &status);
    EXPECT_EQ(status, 1);
    start(R"({"app.lang": "en", "enabled": true})");
    EXPECT_TRUE(becomes(true));
}

TEST_F(ControlsE2eTest, WithoutATrayTheShortcutsAndDBusStillWorkAndTheIconComesWithTheTray)
{
    start(R"({"app.lang": "en"})");
    EXPECT_NE(desk->programOutput().find("no system tray is running"), std::string::npos) << desk->programOutput();
    type("super+alt+b");
    EXPECT_TRUE(becomes(true));
    call("Toggle");
    EXPECT_TRUE(becomes(false));

    startTray();
    EXPECT_TRUE(eventually([&] { return icon().has_value(); }, 8s)) << run({"xwininfo", "-root", "-tree"});
    EXPECT_TRUE(desk->programRunning());
}

} // namespace
} // namespace hg::testing

#include "controls_e2e_test.moc"
