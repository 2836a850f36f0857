#include "platform/windows/x11_workspace.h"

#include <algorithm>

namespace hg {

X11Workspace::X11Workspace(X11WindowServer& server) : m_server(server) {}

std::vector<RunningApplication> X11Workspace::applications(const x11::WindowList& list,
                                                           const X11WindowServer& server)
{
    std::vector<RunningApplication> apps;
    const WindowKindAtoms& kinds = server.kinds();
    for (const x11::TopLevelWindow& w : list.windows) {
        if (!w.managed)
            continue;
        const std::int32_t pid = server.processOf(w);
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

std::optional<RunningApplication> X11Workspace::frontmost(const x11::WindowList& list, const X11WindowServer& server)
{
    if (list.activeClient == XCB_WINDOW_NONE)
        return std::nullopt;
    auto active = std::find_if(list.windows.begin(), list.windows.end(),
                               [&](const x11::TopLevelWindow& w) { return w.client == list.activeClient; });
    if (active == list.windows.end() || !active->managed)
        return std::nullopt;
    const std::vector<RunningApplication> apps = applications(list, server);
    const std::int32_t pid = server.processOf(*active);
    auto it = std::find_if(apps.begin(), apps.end(), [&](const RunningApplication& a) { return a.pid == pid; });
    if (it == apps.end())
        return std::nullopt;
    RunningApplication app = *it;
    if (active->frame != XCB_WINDOW_NONE)
        app.activeWindowID = active->frame;
    return app;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    // Asked on every focus choice; the list it comes from changes only when
    // the model's change count does (the count is read first, so a change
    // that lands in between only makes the next call look again).
    const std::shared_ptr<x11::WindowModel> model = m_server.model();
    const std::optional<std::uint64_t> changes =
        model->followsEvents() ? std::optional(model->changeCount()) : std::nullopt;
    if (changes && m_frontmost && m_frontmost->changes == *changes)
        return m_frontmost->app;
    std::optional<x11::WindowList> list = m_server.query();
    if (!list) {
        m_frontmost.reset();
        return std::nullopt;
    }
    std::optional<RunningApplication> app = frontmost(*list, m_server);
    if (changes)
        m_frontmost = Frontmost{*changes, app};
    return app;
}

std::vector<RunningApplication> X11Workspace::runningApplications()
{
    std::optional<x11::WindowList> list = m_server.query();
    if (!list)
        return {};
    return applications(*list, m_server);
}

std::optional<std::uint64_t> X11Workspace::activationCount()
{
    if (!m_server.model()->followsEvents())
        return std::nullopt;
    return m_server.model()->activationCount();
}

} // namespace hg
