#include "platform/overlay/x11_overlay_stacking.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "platform/x11/properties.h"
#include "platform/x11/x_reply.h"

namespace hg {
namespace {

constexpr std::uint64_t kNameCheckInterval = 1'000'000'000;  // nanoseconds

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

} // namespace

bool drawsOverrideRedirectOnTop(const std::string& windowManagerName)
{
    // GNOME Shell, Mutter and its offspring (Cinnamon's Muffin, Budgie), and
    // KDE Plasma's KWin composite override-redirect windows above every
    // managed one; Xfce's xfwm4, compositing, often shows a newly raised
    // window under an overlay ordered below it.
    const std::string name = lowered(windowManagerName);
    for (const char* known : {"mutter", "muffin", "gnome shell", "kwin", "xfwm4"})
        if (name.find(known) != std::string::npos)
            return true;
    return false;
}

X11OverlayStacking::X11OverlayStacking(xcb_connection_t* connection, xcb_window_t root,
                                       std::shared_ptr<x11::WindowModel> model)
    : m_root(root),
      m_model(model ? std::move(model)
                    : std::make_shared<x11::WindowModel>(connection, root, x11::WindowModel::Options{}, false)),
      m_kinds(m_model->atoms()), m_ownPID(static_cast<std::uint32_t>(::getpid()))
{
    m_model->atoms().intern({"_NET_SUPPORTING_WM_CHECK", "_NET_WM_NAME", "UTF8_STRING"});
}

std::optional<xcb_window_t> X11OverlayStacking::siblingAboveLevel(xcb_window_t self, int level)
{
    const std::optional<x11::WindowList> list = m_model->list();
    if (!list)
        return std::nullopt;
    std::optional<xcb_window_t> lowest;
    for (std::size_t i = list->windows.size(); i-- > 0;) {  // bottom to top
        const x11::TopLevelWindow& window = list->windows[i];
        // Pop-ups that are not the window manager's clients may be overlays of ours.
        const bool overlay = !window.managed && window.ownOverlay;
        if (lowest || overlay || window.frame == self || !window.viewable)
            continue;
        const bool ours = window.managed && window.pid == m_ownPID;
        if (ours || windowLayer(window, m_kinds) > level)
            lowest = window.frame;
    }
    return lowest;
}

std::optional<std::string> X11OverlayStacking::windowManagerName()
{
    xcb_connection_t* c = m_model->connection();
    x11::AtomCache& atoms = m_model->atoms();
    x11::PropertyReply check = x11::requestProperty(c, m_root, atoms["_NET_SUPPORTING_WM_CHECK"], XCB_ATOM_WINDOW, 1);
    const std::optional<std::uint32_t> window = x11::firstValue(check.take().get());
    if (!window)
        return std::nullopt;
    x11::PropertyReply name = x11::requestProperty(c, *window, atoms["_NET_WM_NAME"], atoms["UTF8_STRING"]);
    return x11::text(name.take().get());
}

void X11OverlayStacking::refresh(std::uint64_t nowNanos)
{
    if (m_checkedAt && nowNanos - *m_checkedAt < kNameCheckInterval)
        return;
    m_checkedAt = nowNanos;
    const std::optional<std::string> name = windowManagerName();
    m_honoursStacking = !(name && drawsOverrideRedirectOnTop(*name));
}

} // namespace hg
