// A private X desktop for integration tests: its own Xvfb (with Composite,
// Render, MIT-SHM and RandR), optionally openbox, and helper programs started
// on it. Everything it started is stopped when it is destroyed.
//
//     XSession x({.width = 1920, .height = 1080, .windowManager = true});
//     ASSERT_TRUE(x.ok()) << x.error();
//     x.spawn({"xlogo", "-geometry", "200x200+10+10"});
//     // connect with xcb_connect(x.display().c_str(), nullptr)
//
// Tests that need a session call `XSession::available()` first and skip
// (GTEST_SKIP) when Xvfb or openbox is not installed.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace hg::testing {

struct XSessionOptions {
    int width = 1920;
    int height = 1080;
    int depth = 24;
    bool windowManager = true;  // start openbox and wait until it manages the screen
};

class XSession {
public:
    explicit XSession(XSessionOptions options = {});
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // True when Xvfb (and openbox, when asked for) can be started here.
    [[nodiscard]] static bool available(bool windowManager = true);

    [[nodiscard]] bool ok() const { return m_error.empty(); }
    [[nodiscard]] const std::string& error() const { return m_error; }
    // ":N", for DISPLAY or xcb_connect.
    [[nodiscard]] const std::string& display() const { return m_display; }
    // The Xvfb process, e.g. to read its memory use.
    [[nodiscard]] pid_t serverPid() const { return m_server; }

    // Starts a program with DISPLAY set to this session; returns its pid, or -1.
    // The program is killed when the session ends unless it exited before.
    pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
    // Runs a program to completion on this display; returns its exit status
    // (or -1) and, when `output` is given, what it wrote to stdout.
    int run(const std::vector<std::string>& argv, std::string* output = nullptr);
    // Sends SIGTERM, then SIGKILL after a grace period, and reaps the process.
    void stop(pid_t pid);
    // Waits up to 10 s until a window manager names itself on the root
    // (_NET_SUPPORTING_WM_CHECK), for sessions that start their own.
    bool waitForWindowManager();

private:

    std::string m_display;
    std::string m_error;
    pid_t m_server = -1;
    std::vector<pid_t> m_children;
};

} // namespace hg::testing
