// The running applications and the frontmost one on X11.
//
// An application is a process that owns a managed top-level window; it is
// regular when one of them is an ordinary (normal or dialog) window. The
// frontmost application is the process of `_NET_ACTIVE_WINDOW`'s client, none
// without an active window. The desktop shell is the application that owns a
// desktop-type window.
//
// Answered from the window server's model: no round trip unless something
// changed since the last question. A window whose process is unknown (a remote
// client) counts under its client's stand-in process, so it can be in front.
// Owned by the application; main thread.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/windows/workspace.h"
#include "platform/windows/x11_window_server.h"

namespace hg {

class X11Workspace final : public Workspace {
public:
    explicit X11Workspace(X11WindowServer& server);

    std::optional<RunningApplication> frontmostApplication() override;
    std::vector<RunningApplication> runningApplications() override;
    std::optional<std::uint64_t> activationCount() override;

    // Both answers from one window list, for callers that need both.
    [[nodiscard]] static std::vector<RunningApplication> applications(const x11::WindowList& list,
                                                                      const X11WindowServer& server);
    [[nodiscard]] static std::optional<RunningApplication> frontmost(const x11::WindowList& list,
                                                                     const X11WindowServer& server);

private:
    X11WindowServer& m_server;
    // The last frontmost answer and the window model's change count it was
    // made at: a model that follows events answers from memory until then.
    struct Frontmost {
        std::uint64_t changes = 0;
        std::optional<RunningApplication> app;
    };
    std::optional<Frontmost> m_frontmost;
};

} // namespace hg
