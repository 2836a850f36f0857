#include "platform/windows/x11_window_server.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <limits>

#include "platform/x11/window_details.h"

namespace hg {

namespace {

// `_NET_WM_DESKTOP` of a window shown on every desktop.
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

std::uint64_t uptimeNanos()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

WindowInfoEntry entryFor(const x11::TopLevelWindow& w, std::int32_t pid, std::int64_t layer, bool onScreen)
{
    WindowInfoEntry entry;
    entry.windowNumber = w.frame;
    entry.ownerPID = pid;
    entry.layer = layer;
    entry.bounds = Rect(w.x, w.y, w.width, w.height);
    entry.isOnScreen = onScreen;
    return entry;
}

} // namespace

X11WindowServer::X11WindowServer(xcb_connection_t* connection, xcb_window_t root, const std::string& displayName,
                                 bool askServerForProcesses)
    : m_connection(connection), m_root(root),
      m_model(x11::WindowModel::connect(
          displayName, connection, root, {.nowNanos = uptimeNanos, .askServerForProcesses = askServerForProcesses})),
      m_atoms(m_model->connection()), m_kinds(m_atoms)
{
    // What the events name is read as they come, so that a frame finds the
    // list ready in memory.
    if (QCoreApplication::instance() && m_model->fileDescriptor() >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_model->fileDescriptor(), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated,
                         [model = m_model, handler = m_changeHandler,
                          seen = std::pair<std::uint64_t, std::uint64_t>()]() mutable {
                             model->pump();
                             const std::pair counts(model->changeCount(), model->activationCount());
                             if (counts == seen)
                                 return;
                             seen = counts;
                             if (*handler)
                                 (*handler)();
                         });
        m_model->setWatched(true);
    }
}

X11WindowServer::~X11WindowServer() = default;

std::int32_t X11WindowServer::processOf(const x11::TopLevelWindow& w) const
{
    if (w.pid && *w.pid > 0 && *w.pid <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        return static_cast<std::int32_t>(*w.pid);
    return x11::standInProcess(m_model->connection(), w.client);
}

std::optional<std::uint64_t> X11WindowServer::changeCount()
{
    if (!m_model->followsEvents())
        return std::nullopt;
    return m_model->changeCount();
}

std::optional<std::string> X11WindowServer::applicationIdentifier(const x11::TopLevelWindow& window)
{
    if (window.desktopEntry)
        return window.desktopEntry;
    if (window.wmClass && !window.wmClass->className.empty())
        return window.wmClass->className;
    return std::nullopt;
}

bool X11WindowServer::isOnScreen(const x11::TopLevelWindow& w, std::optional<std::uint32_t> currentDesktop) const
{
    if (!w.viewable)
        return false;
    if (w.desktop && currentDesktop && *w.desktop != kAllDesktops && *w.desktop != *currentDesktop)
        return false;
    return std::find(w.states.begin(), w.states.end(), m_kinds.stateHidden) == w.states.end();
}

std::optional<x11::WindowList> X11WindowServer::query()
{
    std::optional<x11::WindowList> list = m_model->list();
    if (!list)
        return list;
    // A process's identifier: its front-most window that names one, managed
    // windows before menus and tooltips.
    std::unordered_map<std::int32_t, std::string> identifiers;
    for (bool managedPass : {true, false}) {
        for (const x11::TopLevelWindow& w : list->windows) {
            if (w.managed != managedPass)
                continue;
            if (std::optional<std::string> id = applicationIdentifier(w))
                identifiers.try_emplace(processOf(w), std::move(*id));
        }
    }
    std::lock_guard lock(m_mutex);
    m_identifiers = std::move(identifiers);
    return list;
}

std::optional<std::vector<WindowInfoEntry>> X11WindowServer::windowList(WindowListOption options)
{
    std::optional<x11::WindowList> list = query();
    if (!list)
        return std::nullopt;
    std::vector<WindowInfoEntry> entries;
    entries.reserve(list->windows.size());
    for (const x11::TopLevelWindow& w : list->windows) {
        const bool onScreen = isOnScreen(w, list->currentDesktop);
        if (hasOption(options, WindowListOption::onScreenOnly) && !onScreen)
            continue;
        if (hasOption(options, WindowListOption::excludeDesktopElements) && isDesktopWindow(w, m_kinds))
            continue;
        entries.push_back(entryFor(w, processOf(w), windowLayer(w, m_kinds), onScreen));
    }
    return entries;
}

std::optional<std::string> X11WindowServer::bundleIdentifier(std::int32_t pid)
{
    std::lock_guard lock(m_mutex);
    auto it = m_identifiers.find(pid);
    if (it == m_identifiers.end())
        return std::nullopt;
    return it->second;
}

} // namespace hg
