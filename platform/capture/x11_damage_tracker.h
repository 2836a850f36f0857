// What changed on an X screen since the last look, for captures that are
// taken again only where something changed.
//
// Every shown child of the root gets a Damage object; each `poll` takes the
// damage each one gathered since the previous poll (one batch of requests,
// one round trip) and compares the window stack with the previous one, so
// that a window drawing, appearing, vanishing, moving, being restacked or
// reshaped, and a new wallpaper each become a `Change`: an area in root
// pixels and the window it belongs to.
//
// A picture of `source` without the `excluded` windows changed when some
// change `affects` it: its area meets the source, its window is not excluded
// (an excluded window is not painted, so neither its drawing nor its moves
// show; where two windows swapped places, neither may be left out), and it is
// not covered by one opaque window painted above its own.
//
// The stack and wallpaper of the last poll are also what a capture paints
// (`scene`), so that a capture taken right after a poll asks the server for
// nothing more.
//
// A poll costs a round trip. Whoever reads the connection's events may hand
// each to `noteEvent` (from any thread) after `followEvents`: the tracker then
// hears each window's drawing (its Damage object reports when its damage
// becomes non-empty, at most once between two polls), a window's new shape and
// a new wallpaper, and `pollQuietly` answers "nothing changed" without asking
// the server while it heard none of these. Drawing that happens after a poll
// began is always heard, since the poll empties the damage; a notice that
// arrives after the poll only makes the next one ask.
//
// Not thread-safe apart from `noteEvent`: its owner serialises calls.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include <xcb/xcb.h>

#include "base/geometry.h"
#include "platform/x11/properties.h"

namespace hg {

class X11DamageTracker {
public:
    struct Change {
        Rect area;  // root pixels
        xcb_window_t window = XCB_WINDOW_NONE;  // none for the wallpaper
        // Restacked: the window that was above `window` there, and is now below.
        xcb_window_t under = XCB_WINDOW_NONE;
    };
    // A shown root child, as the last poll saw it.
    struct Window {
        xcb_window_t id = XCB_WINDOW_NONE;
        xcb_visualid_t visual = 0;
        Rect outer;   // root pixels, border included
        int border = 0;
        bool opaque = false;  // 24-bit, unshaped and painted: hides everything below it
        bool ownOverlay = false;  // marked as an overlay of ours: never painted
        std::vector<xcb_rectangle_t> shape;  // bounding shape, relative to the inside corner
        friend bool operator==(const Window& a, const Window& b)
        {
            return a.id == b.id && a.outer == b.outer && a.border == b.border && a.opaque == b.opaque
                && a.ownOverlay == b.ownOverlay && a.shape.size() == b.shape.size()
                && std::equal(a.shape.begin(), a.shape.end(), b.shape.begin(), [](const auto& p, const auto& q) {
                       return p.x == q.x && p.y == q.y && p.width == q.width && p.height == q.height;
                   });
        }
    };

    // `connection` must outlive this object.
    X11DamageTracker(xcb_connection_t* connection, xcb_window_t root);
    ~X11DamageTracker();
    X11DamageTracker(const X11DamageTracker&) = delete;
    X11DamageTracker& operator=(const X11DamageTracker&) = delete;

    // False when the server lacks Damage or XFixes; then every poll fails.
    [[nodiscard]] bool isReady() const { return m_ready; }

    // The changes since the last poll; the first poll (and one after `reset`)
    // answers nullopt, meaning "anything may have changed", as does a failed
    // one. With `stackUnchanged` (whoever follows the root's children by their
    // events saw none change) only the windows' drawing and the wallpaper are
    // asked about, one request batch fewer and a third of the requests;
    // every fourth poll still reads the whole stack, for what no event tells
    // of (a new shape).
    [[nodiscard]] std::optional<std::vector<Change>> poll(bool stackUnchanged = false);
    // Forgets the stack and destroys the Damage objects.
    void reset();

    // From now on every event of the connection is handed to `noteEvent`:
    // the tracker asks to hear new shapes of the windows it watches and
    // changes of the root's properties (added to what the connection asked
    // for already), so that `pollQuietly` may answer without a round trip.
    void followEvents();
    // One event of the connection; anything but a Damage, Shape or wallpaper
    // notice is ignored. Any thread, once `followEvents` returned.
    void noteEvent(const xcb_generic_event_t* event);
    // True when a poll now would find no change: the events are followed,
    // nothing was heard since the last poll began, the stack is unchanged
    // (`stackUnchanged`, as for `poll`) and fewer than
    // `kQuietPollsBetweenAskedOnes` polls in a row were answered so; the
    // answer then counts as such a poll. False when `poll` must ask.
    [[nodiscard]] bool pollQuietly(bool stackUnchanged);
    // Quiet answers in a row after which a poll asks the server anyway, for an
    // event that was lost.
    static constexpr int kQuietPollsBetweenAskedOnes = 7;

    // Whether `change` shows in a picture of `source` without `excluded`,
    // given the stack of the last poll.
    [[nodiscard]] bool affects(const Change& change, const Rect& source,
                               const std::vector<xcb_window_t>& excluded) const;

    // The shown root children of the last poll, bottom to top.
    [[nodiscard]] const std::vector<Window>& stack() const { return m_stack; }

    // The screen as the last poll saw it.
    struct Scene {
        const std::vector<Window>* stack = nullptr;  // bottom to top
        std::uint32_t wallpaper = 0;  // the background pixmap, none when 0
    };
    // nullopt until a poll succeeded, and after `reset` or a failed poll.
    [[nodiscard]] std::optional<Scene> scene() const
    {
        return m_primed ? std::optional<Scene>(Scene{&m_stack, m_wallpaper}) : std::nullopt;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    bool m_ready = false;
    bool m_primed = false;
    xcb_atom_t m_wallpaperAtoms[2] = {XCB_ATOM_NONE, XCB_ATOM_NONE};  // in the order they count
    xcb_atom_t m_overlayMarker = XCB_ATOM_NONE;
    std::uint32_t m_wallpaper = 0;
    std::uint32_t m_region = 0;  // XFixes region the damage is moved into
    std::map<xcb_window_t, std::uint32_t> m_damage;  // root child → Damage object
    std::vector<Window> m_stack;
    int m_drawingOnlyPolls = 0;  // since the last poll of the whole stack

    // Heard through `noteEvent`.
    bool m_following = false;
    std::uint8_t m_damageNotify = 0;  // event codes; 0 when the extension is missing
    std::uint8_t m_shapeNotify = 0;
    std::atomic<std::uint64_t> m_notices = 0;  // changes heard
    std::atomic<bool> m_wallpaperNamed = false;  // a wallpaper property was set since the last poll
    std::atomic<bool> m_shapeHeard = false;      // a watched window was reshaped since the last poll
    std::uint64_t m_noticesAtPoll = 0;         // `m_notices` when the last poll began
    int m_quietPolls = 0;                      // quiet answers since the last asked poll

    [[nodiscard]] std::vector<Change> pollDrawingOnly();
    // The wallpaper's pixmap (either property names it; 0 for none), asked
    // for in the poll's batch.
    using WallpaperRequest = std::array<x11::PropertyReply, 2>;
    [[nodiscard]] WallpaperRequest requestWallpaper() const;
    [[nodiscard]] static std::uint32_t takeWallpaper(WallpaperRequest& wallpapers);
};

} // namespace hg
