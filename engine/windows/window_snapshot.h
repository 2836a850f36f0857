// One window of the window server's list, as the window scanner records it.
//
// A plain value: the scanner builds a list of them on a pool thread and hands
// copies to the main thread. The list keeps the window server's order, the
// front-most window first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/geometry.h"

namespace hg {

struct WindowSnapshot {
    std::uint32_t windowID = 0;  // the window server's window number
    // The process that owns the window. A negative number stands for an owner
    // whose process cannot be found (a remote client): one number per owner,
    // never a real process.
    std::int32_t pid = 0;
    std::int64_t layer = 0;      // 0 for ordinary application windows
    Rect rect;                   // bounds in points, origin at the main display's top left, y down
    bool isOnScreen = true;      // the window server's on-screen flag
    // The owning application's identifier; absent when the process has none or is gone.
    std::optional<std::string> bundleID;

    // All six fields equal; rectangles compared exactly.
    friend bool operator==(const WindowSnapshot&, const WindowSnapshot&) = default;
};

} // namespace hg
