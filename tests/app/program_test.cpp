// The hushglass program as a user starts it: on an X display, with its
// defaults file, stopped by a signal.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/x_session.h"

namespace hg {
namespace {

using namespace std::chrono_literals;

struct Program {
    pid_t pid = -1;
    int stderrFd = -1;
    std::string err;

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
        for (int i = 0; i < 500 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(10ms);
        waitFor("", 0ms);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

Program start(const std::string& display, const QString& configHome)
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
        ::execl(HUSHGLASS_BINARY, HUSHGLASS_BINARY, nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    p.stderrFd = fds[0];
    return p;
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
    int status = 0;
    ::waitpid(p.pid, &status, 0);
    p.waitFor("", 0ms);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(p.err.find("no X11 display"), std::string::npos) << p.err;
}

} // namespace
} // namespace hg
