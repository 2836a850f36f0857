#include "test_client.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace hg::testing {

TestClient::TestClient(const std::string& display)
{
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
        return;
    m_pid = fork();
    if (m_pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        setenv("DISPLAY", display.c_str(), 1);
        execl(HG_X11CLIENT_PATH, HG_X11CLIENT_PATH, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_in = toChild[1];
    m_out = fromChild[0];
    const std::string hello = readLine();
    if (hello.rfind("ready ", 0) == 0)
        m_processID = static_cast<pid_t>(std::atoi(hello.c_str() + 6));
}

TestClient::~TestClient()
{
    if (m_in >= 0) {
        (void)!write(m_in, "quit\n", 5);
        close(m_in);
    }
    if (m_out >= 0)
        close(m_out);
    if (m_pid <= 0)
        return;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
            return;
        usleep(10'000);
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
}

std::string TestClient::readLine()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        if (auto newline = m_buffer.find('\n'); newline != std::string::npos) {
            std::string line = m_buffer.substr(0, newline);
            m_buffer.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return "error timeout";
        pollfd fd{m_out, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char chunk[512];
        const ssize_t n = read(m_out, chunk, sizeof chunk);
        if (n <= 0)
            return "error client ended";
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string TestClient::command(const std::string& line)
{
    if (m_in < 0)
        return "error not running";
    const std::string text = line + "\n";
    if (write(m_in, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return "error write";
    return readLine();
}

std::uint32_t TestClient::open(const std::string& arguments)
{
    const std::string answer = command("open " + arguments);
    if (answer.rfind("ok ", 0) != 0)
        return 0;
    const auto space = answer.rfind(' ');
    return static_cast<std::uint32_t>(std::strtoul(answer.c_str() + space + 1, nullptr, 16));
}

} // namespace hg::testing
