// The hushglass program as a user starts it: on an X display, with its
// defaults file, stopped by a signal.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>
#include <xcb/xcb.h>
#include <thread>
#include <utility>
#include <unistd.h>

#include "support/x_session.h"

namespace hg {
namespace {

using namespace std::chrono_literals;

struct Program {
    pid_t pid = -1;
    int stderrFd = -1;
    std::string err;

    Program() = default;
    Program(Program&& other) noexcept
        : pid(std::exchange(other.pid, -1)), stderrFd(std::exchange(other.stderrFd, -1)), err(std::move(other.err))
    {
    }
    // A program a failed test left running is ended with it.
    ~Program()
    {
        if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (stderrFd >= 0)
            ::close(stderrFd);
    }

    // Reads what the program wrote to stderr so far, waiting up to `timeout`
    // for `needle` to appear.
    bool waitFor(const std::string& needle, std::chrono::milliseconds timeout = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            char buffer[512];
            ssize_t n = 0;
            while ((n = ::read(stderrFd, buffer, sizeof buffer)) > 0)
                err.append(buffer, static_cast<std::size_t>(n));
            if (err.find(needle) != std::string::npos)
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(10ms);
        }
    }

    int stop(int signal)
    {
        ::kill(pid, signal);
        int status = 0;
        pid_t reaped = 0;
        for (int i = 0; i < 500 && (reaped = ::waitpid(pid, &status, WNOHANG)) == 0; ++i)
            std::this_thread::sleep_for(10ms);
        if (reaped == pid)
            pid = -1;
        waitFor("", 0ms);
        return reaped > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

struct StartOptions {
    std::vector<std::string> args{};
    std::vector<std::pair<std::string, std::string>> env{};  // an empty value unsets the variable
    uid_t uid = 0;                                         // run as this user when not 0
};

Program start(const std::string& display, const QString& configHome, const StartOptions& options = {})
{
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    Program p;
    p.pid = ::fork();
    if (p.pid == 0) {
        ::dup2(fds[1], STDERR_FILENO);
        if (display.empty())
            ::unsetenv("DISPLAY");
        else
            ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", configHome.toLocal8Bit().constData(), 1);
        ::unsetenv("QT_QPA_PLATFORM");
        for (const auto& [name, value] : options.env)
            value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
        if (options.uid != 0 && (::setgid(options.uid) != 0 || ::setuid(options.uid) != 0))
            ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(HUSHGLASS_BINARY)};
        for (const std::string& arg : options.args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(HUSHGLASS_BINARY, argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    p.stderrFd = fds[0];
    return p;
}

// The exit status of a program that ends by itself within 15 s; -1 otherwise.
int exitStatus(Program& p)
{
    int status = 0;
    pid_t reaped = 0;
    for (int i = 0; i < 1500 && (reaped = ::waitpid(p.pid, &status, WNOHANG)) == 0; ++i)
        std::this_thread::sleep_for(10ms);
    if (reaped == p.pid)
        p.pid = -1;
    p.waitFor("", 0ms);
    return reaped > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QString writeDefaults(const QTemporaryDir& config, const QByteArray& content)
{
    QDir().mkpath(config.path() + "/hushglass");
    const QString path = config.path() + "/hushglass/defaults.json";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
}

// Resident memory of a process in MB, from /proc.
long residentMegabytes(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    return -1;
}

TEST(Program, RunsAsAnAgentAndQuitsCleanlyOnSigtermAndSigint)
{
    if (!testing::XSession::available(false))
        GTEST_SKIP() << "Xvfb is not installed";
    testing::XSession x({.windowManager = false});
    ASSERT_TRUE(x.ok()) << x.error();
    QTemporaryDir config;

    for (int signal : {SIGTERM, SIGINT}) {
        Program p = start(x.display(), config.path());
        ASSERT_TRUE(p.waitFor("Hushglass: running")) << p.err;
        EXPECT_EQ(p.stop(signal), 0) << p.err;
        EXPECT_NE(p.err.find("Hushglass: quitting"), std::string::npos) << p.err;
    }
}

TEST(Program, SetsACorruptDefaultsFileAsideAndKeepsRunning)
{
    if (!testing::XSession::available(false))
        GTEST_SKIP() << "Xvfb is not installed";
    testing::XSession x({.windowManager = false});
    ASSERT_TRUE(x.ok()) << x.error();
    QTemporaryDir config;
    QDir().mkpath(config.path() + "/hushglass");
    QFile file(config.path() + "/hushglass/defaults.json");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"enabled\": tru");
    file.close();

    Program p = start(x.display(), config.path());
    ASSERT_TRUE(p.waitFor("Hushglass: running")) << p.err;
    EXPECT_NE(p.err.find("could not be read"), std::string::npos) << p.err;
    EXPECT_EQ(QDir(config.path() + "/hushglass").entryList({"defaults.json.corrupt-*"}).size(), 1);
    EXPECT_EQ(p.stop(SIGTERM), 0);
}

TEST(Program, WithoutADisplaySaysSoAndExits)
{
    QTemporaryDir config;
    Program p = start("", config.path());
    EXPECT_EQ(exitStatus(p), 1);
    EXPECT_NE(p.err.find("no X11 display"), std::string::npos) << p.err;
}

TEST(Program, SettingsFilesThatAreNoRegularFilesAreLeftAloneAndTheProgramRuns)
{
    if (!testing::XSession::available(false))
        GTEST_SKIP() << "Xvfb is not installed";
    testing::XSession x({.windowManager = false});
    ASSERT_TRUE(x.ok()) << x.error();
    QTemporaryDir config;
    QDir().mkpath(config.path() + "/hushglass");
    const QByteArray path = (config.path() + "/hushglass/defaults.json").toLocal8Bit();

    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    Program fifo = start(x.display(), config.path());
    ASSERT_TRUE(fifo.waitFor("Hushglass: running")) << fifo.err;
    EXPECT_NE(fifo.err.find("it is not a regular file"), std::string::npos) << fifo.err;
    EXPECT_EQ(fifo.stop(SIGTERM), 0);
    struct stat st {};
    EXPECT_TRUE(::lstat(path.constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    ::unlink(path.constData());

    ASSERT_EQ(::symlink("/dev/zero", path.constData()), 0);
    Program zero = start(x.display(), config.path());
    ASSERT_TRUE(zero.waitFor("Hushglass: running")) << zero.err;
    EXPECT_LT(residentMegabytes(zero.pid), 300);
    EXPECT_EQ(zero.stop(SIGTERM), 0);
    EXPECT_TRUE(::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode));
}

TEST(Program, AnUnreadableFileStaysAndAnOutOfRangeNumberSpoilsOnlyItself)
{
    if (!testing::XSession::available(false))
        GTEST_SKIP() << "Xvfb is not installed";
    testing::XSession x({.windowManager = false});
    ASSERT_TRUE(x.ok()) << x.error();
    QTemporaryDir config;
    const QByteArray content = "{\"enabled\": true, \"blurRadius\": 1e400}";
    const QString path = writeDefaults(config, content);

    Program p = start(x.display(), config.path());
    ASSERT_TRUE(p.waitFor("Hushglass: running")) << p.err;
    EXPECT_NE(p.err.find("(effect on)"), std::string::npos) << p.err;
    EXPECT_EQ(p.err.find("could not be read"), std::string::npos) << p.err;
    EXPECT_EQ(p.stop(SIGTERM), 0);

    // As root every file is readable: the program runs as an ordinary user.
    // The user's own folder and file, the file with mode 000.
    ::chmod(config.path().toLocal8Bit().constData(), 0755);
    ASSERT_EQ(::chown((config.path() + "/hushglass").toLocal8Bit().constData(), 65534, 65534), 0);
    ASSERT_EQ(::chown(path.toLocal8Bit().constData(), 65534, 65534), 0);
    ::chmod(path.toLocal8Bit().constData(), 0);
    Program locked = start(x.display(), config.path(), {.uid = 65534});
    ASSERT_TRUE(locked.waitFor("Hushglass: running")) << locked.err;
    EXPECT_NE(locked.err.find("cannot be read"), std::string::npos) << locked.err;
    EXPECT_EQ(locked.stop(SIGTERM), 0);
    QFile file(path);
    ::chmod(path.toLocal8Bit().constData(), 0600);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), content);
    EXPECT_EQ(QDir(config.path() + "/hushglass").entryList(QDir::Files).size(), 1);
}

TEST(Program, OtherSignalsAndAVanishedLogReaderEndItCleanly)
{
    if (!testing::XSession::available(false))
        GTEST_SKIP() << "Xvfb is not installed";
    testing::XSession x({.windowManager = false});
    ASSERT_TRUE(x.ok()) << x.error();
    QTemporaryDir config;

    for (int signal : {SIGUSR1, SIGUSR2, SIGALRM}) {
        Program p = start(x.display(), config.path());
        ASSERT_TRUE(p.waitFor("Hushglass: running")) << p.err;
        EXPECT_EQ(p.stop(signal), 0) << strsignal(signal) << p.err;
        EXPECT_NE(p.err.find("Hushglass: quitting"), std::string::npos) << p.err;
    }

    // The terminal closes: the next log line ("quitting") has no reader.
    Program p = start(x.display(), config.path());
    ASSERT_TRUE(p.waitFor("Hushglass: running")) << p.err;
    ::close(std::exchange(p.stderrFd, -1));
    EXPECT_EQ(p.stop(SIGTERM), 0);
}

TEST(Program, OneCopyPerDisplayWhateverItsSpellingAndWhateverIsPlantedInItsFolders)
{
    if (!testing::XSession::available(false))
        GTEST_SKIP() << "Xvfb is not installed";
    testing::XSession x({.windowManager = false});
    ASSERT_TRUE(x.ok()) << x.error();
    QTemporaryDir config;
    // Another user's lock file, held, and a link under a lock's name, in the
    // runtime folder: neither may matter.
    QTemporaryDir runtime;
    const std::string folder = runtime.path().toStdString();
    const int held = ::open((folder + "/hushglass-" + x.display() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::symlink((folder + "/target").c_str(), (folder + "/hushglass-" + x.display() + ".0.lock").c_str()), 0);
    const StartOptions inRuntime{.env = {{"XDG_RUNTIME_DIR", folder}}};

    Program first = start(x.display(), config.path(), inRuntime);
    ASSERT_TRUE(first.waitFor("Hushglass: running")) << first.err;
    const std::string number = x.display().substr(1);
    for (const std::string& spelling : {x.display(), x.display() + ".0", "unix:" + number, "unix:" + number + ".0"}) {
        Program second = start(spelling, config.path(), inRuntime);
        EXPECT_EQ(exitStatus(second), 0) << spelling;
        EXPECT_NE(second.err.find("already running"), std::string::npos) << spelling << ": " << second.err;
    }
    EXPECT_FALSE(QFileInfo::exists(runtime.path() + "/target"));

    // A relaunched copy waits for the one it replaces to go, then runs.
    Program next = start(x.display() + ".0", config.path(), {.args = {"--wait-for-previous"}});
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(next.waitFor("Hushglass: running", 0ms)) << next.err;
    EXPECT_EQ(first.stop(SIGTERM), 0);
    EXPECT_TRUE(next.waitFor("Hushglass: running")) << next.err;
    EXPECT_EQ(next.stop(SIGTERM), 0);
    ::close(held);
}

TEST(Program, TheXServerKeepsNoCopyOfWindowsWhileTheEffectIsOff)
{
    if (!testing::XSession::available(false))
        GTEST_SKIP() << "Xvfb is not installed";
    testing::XSession x({.width = 1280, .height = 720, .windowManager = false});
    ASSERT_TRUE(x.ok()) << x.error();
    QTemporaryDir config;
    Program p = start(x.display(), config.path());
    ASSERT_TRUE(p.waitFor("(effect off)")) << p.err;
    const long before = residentMegabytes(x.serverPid());

    // A 20000 x 20000 window: 1.6 GB for the server if it kept a copy.
    xcb_connection_t* c = xcb_connect(x.display().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t background = 0x336699;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 20000, 20000, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, &background);
    xcb_map_window(c, window);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    std::this_thread::sleep_for(1s);
    const long after = residentMegabytes(x.serverPid());
    EXPECT_LT(after - before, 100) << before << " MB before, " << after << " MB with the window";
    xcb_disconnect(c);
    EXPECT_EQ(p.stop(SIGTERM), 0);
}

TEST(Program, SaysSoWhenTheXServerGoesAway)
{
    if (!testing::XSession::available(false))
        GTEST_SKIP() << "Xvfb is not installed";
    testing::XSession x({.windowManager = false});
    ASSERT_TRUE(x.ok()) << x.error();
    QTemporaryDir config;
    Program p = start(x.display(), config.path());
    ASSERT_TRUE(p.waitFor("Hushglass: running")) << p.err;
    ::kill(x.serverPid(), SIGKILL);
    exitStatus(p);
    EXPECT_NE(p.err.find("Hushglass: lost the connection to the X server"), std::string::npos) << p.err;
}

} // namespace
} // namespace hg
