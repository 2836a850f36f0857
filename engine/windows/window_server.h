// The window server as the window scanner sees it: the list of windows, front
// to back, and the application identifier of a process.
//
// The list comes as the server reports it, possibly malformed: every field of an
// entry may be missing, and numbers may be out of range for what they stand
// for. Checking them is the scanner's business.
//
// Owned by the application for the life of the process. `windowList` and
// `bundleIdentifier` may come
// from a pool thread while the main thread uses the same object, so
// implementations are thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"

namespace hg {

// One window of the list, field by field as the server gave it.
struct WindowInfoEntry {
    std::optional<std::int64_t> windowNumber;
    std::optional<std::int64_t> ownerPID;
    std::optional<std::int64_t> layer;
    // Bounds in points, origin at the main display's top left, y down. A bounds
    // value the server gave but that does not form a rectangle is absent.
    std::optional<Rect> bounds;
    std::optional<bool> isOnScreen;
};

// Which windows the list holds. The values are bits, combined with `|`.
enum class WindowListOption : std::uint32_t {
    all = 0,
    onScreenOnly = 1,             // leave out windows that are not shown
    excludeDesktopElements = 16,  // leave out the desktop and its icons
};

[[nodiscard]] constexpr WindowListOption operator|(WindowListOption a, WindowListOption b)
{
    return static_cast<WindowListOption>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
[[nodiscard]] constexpr bool hasOption(WindowListOption set, WindowListOption option)
{
    return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(option)) != 0;
}

class WindowServer {
public:
    virtual ~WindowServer() = default;

    // The windows front-most first, or nullopt when the server gives no list.
    [[nodiscard]] virtual std::optional<std::vector<WindowInfoEntry>> windowList(WindowListOption options) = 0;
    // The identifier of the running application with process `pid`; nullopt
    // when there is no such application or it has no identifier.
    [[nodiscard]] virtual std::optional<std::string> bundleIdentifier(std::int32_t pid) = 0;
    // A number that changes whenever the list may have changed (a window
    // shown, hidden, moved, restacked, gone, activated), for a server that is
    // told of changes as they happen; nullopt for one that cannot tell, whose
    // list must be read again to know. Cheap, never blocks on the server.
    [[nodiscard]] virtual std::optional<std::uint64_t> changeCount() { return std::nullopt; }
    // True when `windowList` would answer from memory now, without waiting
    // for the server (it already took in every change it was told of).
    [[nodiscard]] virtual bool answersWithoutWaiting() { return false; }
};

} // namespace hg
