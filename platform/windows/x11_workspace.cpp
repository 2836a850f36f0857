#include "platform/windows/x11_workspace.h"

#include <algorithm>

namespace hg {

X11Workspace::X11Workspace(X11WindowServer& server) : m_server(server) {}

std::vector<RunningApplication> X11Workspace::applications(const x11::WindowList& list,
                                                           const WindowKindAtoms& kinds)
{
    std::vector<RunningApplication> apps;
    for (const x11::TopLevelWindow& w : list.windows) {
        if (!w.managed || !w.pid || *w.pid > 0x7FFFFFFFu)
            continue;
        const auto pid = static_cast<std::int32_t>(*w.pid);
        auto it = std::find_if(apps.begin(), apps.end(), [pid](const auto& a) { return a.pid == pid; });
        if (it == apps.end())
            it = apps.insert(apps.end(), RunningApplication{pid, std::nullopt, false, false});
        if (!it->bundleIdentifier)
            it->bundleIdentifier = X11WindowServer::applicationIdentifier(w);
        it->isRegular = it->isRegular || isOrdinaryWindow(w, kinds);
        it->isDesktopShell = it->isDesktopShell || isDesktopWindow(w, kinds);
    }
    return apps;
}

std::optional<RunningApplication> X11Workspace::frontmost(const x11::WindowList& list, const WindowKindAtoms& kinds)
{
    if (list.activeClient == XCB_WINDOW_NONE)
        return std::nullopt;
    auto active = std::find_if(list.windows.begin(), list.windows.end(),
                               [&](const x11::TopLevelWindow& w) { return w.client == list.activeClient; });
    if (active == list.windows.end() || !active->pid)
        return std::nullopt;
    const std::vector<RunningApplication> apps = applications(list, kinds);
    auto it = std::find_if(apps.begin(), apps.end(),
                           [&](const RunningApplication& a) { return a.pid == static_cast<std::int32_t>(*active->pid); });
    if (it == apps.end())
        return std::nullopt;
    RunningApplication app = *it;
    if (active->frame != XCB_WINDOW_NONE)
        app.activeWindowID = active->frame;
    return app;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    std::optional<x11::WindowList> list = m_server.clients();
    if (!list)
        return std::nullopt;
    return frontmost(*list, m_server.kinds());
}

std::vector<RunningApplication> X11Workspace::runningApplications()
{
    std::optional<x11::WindowList> list = m_server.clients();
    if (!list)
        return {};
    return applications(*list, m_server.kinds());
}

} // namespace hg
