// The backing scale factor of a monitor as Qt knows it, for `X11Screens`.
//
//     X11Screens screens(connection, root, qtScreenScale());
//
// Looks the monitor up by name among `QGuiApplication::screens()` and answers
// its device pixel ratio, 1.0 when Qt has no screen of that name (or no
// QGuiApplication exists). Main thread.
#pragma once

#include "platform/windows/x11_screens.h"

namespace hg {

[[nodiscard]] X11Screens::ScaleProvider qtScreenScale();

} // namespace hg
