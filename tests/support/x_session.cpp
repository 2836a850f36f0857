#include "support/x_session.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace hg::testing {
namespace {

using namespace std::chrono_literals;

bool onPath(const char* program)
{
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= all.size()) {
        const std::size_t end = std::min(all.find(':', start), all.size());
        const std::string candidate = all.substr(start, end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

pid_t spawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env, int stdoutFd)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::setpgid(0, 0);
    const int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, STDIN_FILENO);
    ::dup2(stdoutFd >= 0 ? stdoutFd : devnull, STDOUT_FILENO);
    if (!std::getenv("HUSHGLASS_TEST_VERBOSE"))
        ::dup2(devnull, STDERR_FILENO);
    for (const auto& e : env)
        ::putenv(::strdup(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

bool exited(pid_t pid, int* status = nullptr)
{
    int s = 0;
    const pid_t r = ::waitpid(pid, &s, WNOHANG);
    if (r == pid && status)
        *status = s;
    return r == pid || (r < 0 && errno == ECHILD);
}

// The display number Xvfb writes to `fd` when it is ready; -1 after 10 s
// without one or when the pipe closes first.
int readDisplayNumber(int fd)
{
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return -1;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[32];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return -1;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return std::atoi(text.c_str());
}

} // namespace

bool XSession::available(bool windowManager)
{
    return onPath("Xvfb") && (!windowManager || onPath("openbox"));
}

XSession::XSession(XSessionOptions options)
{
    if (!available(options.windowManager)) {
        m_error = "Xvfb or openbox is not installed";
        return;
    }
    // Xvfb chooses a free display number itself and writes it to the pipe
    // once it accepts connections, so parallel tests never share a server.
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        const std::string screen = std::to_string(options.width) + "x" + std::to_string(options.height) + "x"
            + std::to_string(options.depth);
        m_server = spawnProcess({"Xvfb", "-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp", "+extension",
                                 "Composite", "+extension", "RANDR", "+extension", "RENDER", "+extension",
                                 "MIT-SHM", "-noreset"},
                                {}, fds[1]);
        ::close(fds[1]);
        const int number = readDisplayNumber(fds[0]);
        ::close(fds[0]);
        if (number < 0) {
            stop(m_server);
            m_server = -1;
        } else {
            m_display = ":" + std::to_string(number);
        }
    }
    if (m_server < 0) {
        m_error = "Xvfb did not start";
        return;
    }
    if (options.windowManager) {
        spawn({"openbox", "--sm-disable"});
        if (!waitForWindowManager())
            m_error = "openbox did not start";
    }
}

XSession::~XSession()
{
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it)
        stop(*it);
    if (m_server > 0)
        stop(m_server);
}

bool XSession::waitForWindowManager()
{
    // openbox sets _NET_SUPPORTING_WM_CHECK on the root once it manages the screen.
    for (auto deadline = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < deadline;) {
        std::string out;
        if (run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, &out) == 0 && out.find("window id") != std::string::npos)
            return true;
        std::this_thread::sleep_for(30ms);
    }
    return false;
}

pid_t XSession::spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> env = extraEnv;
    env.push_back("DISPLAY=" + m_display);
    const pid_t pid = spawnProcess(argv, env, -1);
    if (pid > 0)
        m_children.push_back(pid);
    return pid;
}

int XSession::run(const std::vector<std::string>& argv, std::string* output)
{
    int fds[2] = {-1, -1};
    if (output && ::pipe(fds) != 0)
        return -1;
    const pid_t pid = spawnProcess(argv, {"DISPLAY=" + m_display}, output ? fds[1] : -1);
    if (output) {
        ::close(fds[1]);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
            output->append(buffer, static_cast<std::size_t>(n));
        ::close(fds[0]);
    }
    if (pid < 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void XSession::stop(pid_t pid)
{
    if (pid <= 0)
        return;
    std::erase(m_children, pid);
    if (exited(pid))
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (exited(pid))
            return;
        std::this_thread::sleep_for(10ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace hg::testing
