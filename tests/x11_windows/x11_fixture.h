// A private X desktop with the test client, the window server, the workspace
// and the screens connected to it, for the window-tracking integration tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include <xcb/xcb.h>

#include "engine/windows/focus_tracker.h"
#include "engine/windows/window_scanner.h"
#include "platform/windows/x11_screens.h"
#include "platform/windows/x11_window_server.h"
#include "platform/windows/x11_workspace.h"
#include "support/x_session.h"
#include "test_client.h"

namespace hg::testing {

class X11WindowsTest : public ::testing::Test {
protected:
    void start(XSessionOptions options = {})
    {
        if (!XSession::available(options.windowManager))
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        session = std::make_unique<XSession>(options);
        ASSERT_TRUE(session->ok()) << session->error();
        int screenNumber = 0;
        connection = xcb_connect(session->display().c_str(), &screenNumber);
        ASSERT_FALSE(xcb_connection_has_error(connection));
        root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        server = std::make_unique<X11WindowServer>(connection, root, session->display());
        workspace = std::make_unique<X11Workspace>(*server);
        screens = std::make_unique<X11Screens>(connection, root);
    }

    void TearDown() override
    {
        clients.clear();
        screens.reset();
        workspace.reset();
        server.reset();
        if (connection)
            xcb_disconnect(connection);
    }

    TestClient& newClient()
    {
        clients.push_back(std::make_unique<TestClient>(session->display()));
        EXPECT_TRUE(clients.back()->ok());
        return *clients.back();
    }

    std::vector<WindowSnapshot> scan() { return WindowScanner::scan(*server); }

    std::optional<FocusedWindow> focus()
    {
        const std::optional<RunningApplication> front = workspace->frontmostApplication();
        return FocusTracker::focusWindow(scan(), front ? std::optional(front->pid) : std::nullopt,
                                         front && front->isDesktopShell, *screens, getpid());
    }

    // The frame (root child) holding a client window; 0 when none.
    xcb_window_t frameOf(xcb_window_t client)
    {
        const std::optional<x11::WindowList> list = server->query();
        for (const x11::TopLevelWindow& w : list ? list->windows : std::vector<x11::TopLevelWindow>{})
            if (w.client == client)
                return w.frame;
        return 0;
    }

    // Polls the X server's state (which follows the window manager
    // asynchronously) until `condition` holds or 5 s have passed.
    static bool eventually(const std::function<bool()>& condition)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return condition();
    }

    std::unique_ptr<XSession> session;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    std::unique_ptr<X11WindowServer> server;
    std::unique_ptr<X11Workspace> workspace;
    std::unique_ptr<X11Screens> screens;
    std::vector<std::unique_ptr<TestClient>> clients;
};

inline const WindowSnapshot* findWindow(const std::vector<WindowSnapshot>& windows, std::uint32_t id)
{
    for (const WindowSnapshot& w : windows)
        if (w.windowID == id)
            return &w;
    return nullptr;
}

} // namespace hg::testing
