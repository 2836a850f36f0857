// Atoms by name, interned once per connection.
//
// Interning asks the server, so the cache interns a whole list in one batch
// (all requests first, then the replies) and answers later look-ups from
// memory. A name not interned yet costs one round trip on first use.
//
//     AtomCache atoms(connection, {"_NET_WM_PID", "_NET_CLIENT_LIST_STACKING"});
//     xcb_atom_t pid = atoms["_NET_WM_PID"];
//
// Thread-safe: the window scan on a pool thread and the main thread may share one.
#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <xcb/xcb.h>

namespace hg::x11 {

class AtomCache {
public:
    explicit AtomCache(xcb_connection_t* connection, std::initializer_list<std::string_view> names = {});

    // Interns every name not known yet, in one batch.
    void intern(const std::vector<std::string_view>& names);
    // The atom of `name`, interned now if needed; XCB_ATOM_NONE when the server refuses.
    [[nodiscard]] xcb_atom_t atom(std::string_view name);
    [[nodiscard]] xcb_atom_t operator[](std::string_view name) { return atom(name); }

    [[nodiscard]] xcb_connection_t* connection() const { return m_connection; }

private:
    void internLocked(const std::vector<std::string_view>& names);

    xcb_connection_t* m_connection;
    std::mutex m_mutex;
    std::unordered_map<std::string, xcb_atom_t> m_atoms;
};

// Interns one atom (a round trip); XCB_ATOM_NONE on failure.
[[nodiscard]] xcb_atom_t internAtom(xcb_connection_t* connection, const char* name);

} // namespace hg::x11
