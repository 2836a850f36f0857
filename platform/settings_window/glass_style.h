// The settings window's look: design tokens, text colours by colour scheme,
// the two animation curves, and the program's own icons tinted and drawn
// crisp at the screen's device pixel ratio.
//
// Main thread only (Qt GUI objects).
#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include "ui/settings/settings_screens.h"

namespace hg::glass {

// Light or dark: what every control reads to pick its tints.
struct Scheme {
    bool dark = false;
    [[nodiscard]] QColor primaryText() const { return dark ? QColor(255, 255, 255, 245) : QColor(0, 0, 0, 235); }
    [[nodiscard]] QColor secondaryText() const { return dark ? QColor(255, 255, 255, 158) : QColor(0, 0, 0, 148); }
    [[nodiscard]] QColor faintText() const { return dark ? QColor(255, 255, 255, 97) : QColor(0, 0, 0, 102); }
    [[nodiscard]] QColor panelFill() const { return dark ? QColor(255, 255, 255, 18) : QColor(255, 255, 255, 180); }
    [[nodiscard]] QColor panelStroke() const { return dark ? QColor(255, 255, 255, 26) : QColor(0, 0, 0, 20); }
    [[nodiscard]] QColor separator() const { return dark ? QColor(255, 255, 255, 20) : QColor(0, 0, 0, 16); }
    [[nodiscard]] QColor controlFill() const { return dark ? QColor(255, 255, 255, 28) : QColor(0, 0, 0, 18); }
    [[nodiscard]] QColor hoverFill() const { return dark ? QColor(255, 255, 255, 36) : QColor(0, 0, 0, 24); }
};

// The tokens; each falls back to its named colour when its text does not parse.
[[nodiscard]] QColor accent();
[[nodiscard]] QColor success();
[[nodiscard]] QColor warning();
[[nodiscard]] QColor danger();
[[nodiscard]] QColor tintColor(Tint tint, const Scheme& scheme);

// Tab changes: (0.32, 0.72)-(0, 1) over 220 ms; the recorder: (0.4, 0)-(0.2, 1) over 120 ms.
[[nodiscard]] QEasingCurve tabCurve();
inline constexpr int kTabDurationMs = 220;
[[nodiscard]] QEasingCurve recorderCurve();
inline constexpr int kRecorderDurationMs = 120;

// `name` tinted in `color`, `size` points square, for a device pixel ratio.
// A missing icon gives an empty pixmap.
[[nodiscard]] QPixmap icon(const QString& name, const QColor& color, int size, qreal devicePixelRatio);

// Fonts in points with a weight; Chinese falls back to the installed CJK font.
[[nodiscard]] QFont font(qreal pointSize, int weight = 400, qreal letterSpacing = 0);

} // namespace hg::glass
