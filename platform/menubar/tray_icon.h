// The tray icon's picture: a soft square behind a sharp window with three
// dots, a bar and two lines cut out of it. Drawn for an 18 × 18 point icon
// into a 72 × 72 pixel image (4×), in one colour at the given opacity.
#pragma once

#include <QColor>
#include <QImage>

namespace hg {

inline constexpr int kTrayIconPixels = 72;

[[nodiscard]] QImage drawTrayIcon(const QColor& color, double opacity);

} // namespace hg
