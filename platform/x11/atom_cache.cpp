#include "platform/x11/atom_cache.h"

#include "platform/x11/x_reply.h"

namespace hg::x11 {

AtomCache::AtomCache(xcb_connection_t* connection, std::initializer_list<std::string_view> names)
    : m_connection(connection)
{
    intern(std::vector<std::string_view>(names));
}

void AtomCache::intern(const std::vector<std::string_view>& names)
{
    std::lock_guard lock(m_mutex);
    internLocked(names);
}

void AtomCache::internLocked(const std::vector<std::string_view>& names)
{
    using Pending = PendingReply<xcb_intern_atom_cookie_t, xcb_intern_atom_reply_t>;
    std::vector<std::pair<std::string, Pending>> pending;
    for (std::string_view name : names) {
        if (m_atoms.count(std::string(name)))
            continue;
        auto cookie = xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
        pending.emplace_back(std::string(name), Pending(m_connection, cookie, xcb_intern_atom_reply));
    }
    for (auto& [name, reply] : pending) {
        XReply<xcb_intern_atom_reply_t> r = reply.take();
        m_atoms[name] = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }
}

xcb_atom_t AtomCache::atom(std::string_view name)
{
    std::lock_guard lock(m_mutex);
    auto it = m_atoms.find(std::string(name));
    if (it != m_atoms.end())
        return it->second;
    internLocked({name});
    return m_atoms[std::string(name)];
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    const std::uint16_t length = static_cast<std::uint16_t>(std::string_view(name).size());
    XReply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, length, name), nullptr));
    return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace hg::x11
