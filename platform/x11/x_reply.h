// Replies and errors of xcb requests, owned and swallowed.
//
// Windows of other programs vanish at any moment, and a request naming a gone
// window answers with an X error. Requests with a reply are sent with their
// default (checked) function, so that an error comes back with the reply and
// never reaches the event queue; `PendingReply` collects it, frees it and gives
// an empty reply instead. A pending reply that is never taken is discarded, so
// an early return leaves nothing behind in the connection.
//
//     PendingReply tree(c, xcb_query_tree(c, window), xcb_query_tree_reply);
//     ... send more requests ...
//     if (XReply<xcb_query_tree_reply_t> reply = tree.take()) use(*reply);
//
// Requests without a reply whose errors do not matter go through
// `discardErrors` with the `_checked` variant of the request.
//
// Plain helpers: use one object from one thread at a time.
#pragma once

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

namespace hg::x11 {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// A reply allocated by xcb; nullptr after an error.
template <typename Reply>
using XReply = std::unique_ptr<Reply, FreeDeleter>;

template <typename Cookie, typename Reply>
class PendingReply {
public:
    using ReplyFunction = Reply* (*)(xcb_connection_t*, Cookie, xcb_generic_error_t**);

    PendingReply() = default;
    PendingReply(xcb_connection_t* connection, Cookie cookie, ReplyFunction function)
        : m_connection(connection), m_cookie(cookie), m_function(function)
    {
    }
    PendingReply(PendingReply&& other) noexcept { *this = std::move(other); }
    PendingReply& operator=(PendingReply&& other) noexcept
    {
        if (this != &other) {
            discard();
            m_connection = other.m_connection;
            m_cookie = other.m_cookie;
            m_function = other.m_function;
            other.m_connection = nullptr;
        }
        return *this;
    }
    PendingReply(const PendingReply&) = delete;
    PendingReply& operator=(const PendingReply&) = delete;
    ~PendingReply() { discard(); }

    [[nodiscard]] bool isPending() const { return m_connection != nullptr; }

    // Waits for the reply; nullptr when the request failed (the error is
    // swallowed) or nothing is pending. Taking twice gives nullptr.
    XReply<Reply> take()
    {
        if (!m_connection)
            return nullptr;
        xcb_generic_error_t* error = nullptr;
        XReply<Reply> reply(m_function(m_connection, m_cookie, &error));
        std::free(error);
        m_connection = nullptr;
        return reply;
    }

private:
    void discard()
    {
        if (m_connection)
            xcb_discard_reply(m_connection, m_cookie.sequence);
        m_connection = nullptr;
    }

    xcb_connection_t* m_connection = nullptr;
    Cookie m_cookie{};
    ReplyFunction m_function = nullptr;
};

// Forgets the outcome of a `_checked` request without a reply: its error, if
// any, is dropped instead of reaching the event queue.
inline void discardErrors(xcb_connection_t* connection, xcb_void_cookie_t cookie)
{
    xcb_discard_reply(connection, cookie.sequence);
}

} // namespace hg::x11
