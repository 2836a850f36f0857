#include "platform/menubar/tray_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace hg {
namespace {

constexpr double kScale = 4;  // pixels per point
constexpr double kPoints = 18;

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

} // namespace

QImage drawTrayIcon(const QColor& color, double opacity)
{
    QImage image(kTrayIconPixels, kTrayIconPixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    // Points with the origin at the bottom left, y growing upwards.
    painter.translate(0, kPoints * kScale);
    painter.scale(kScale, -kScale);

    // The soft square behind: three strokes of growing strength, then a light fill.
    QPainterPath square;
    square.addRoundedRect(QRectF(1.5, 8.1, 8.6, 8.5), 2.1, 2.1);
    struct Stroke {
        double width;
        double alpha;
    };
    for (const Stroke stroke : {Stroke{2.6, 0.08}, Stroke{1.6, 0.14}, Stroke{0.9, 0.3}}) {
        painter.strokePath(square, QPen(withAlpha(color, stroke.alpha), stroke.width));
    }
    painter.fillPath(square, withAlpha(color, 0.1));

    // The sharp window in front, its inner shapes cut out by the even-odd rule.
    QPainterPath window;
    window.setFillRule(Qt::OddEvenFill);
    window.addRoundedRect(QRectF(4.6, 2.4, 11.6, 9.6), 2.4, 2.4);
    constexpr double kDot = 1.24;
    for (const double x : {5.88, 7.58, 9.28})
        window.addEllipse(QRectF(x, 10.13, kDot, kDot));
    window.addRoundedRect(QRectF(5.8, 8.75, 9.2, 0.95), 0.45, 0.45);
    window.addRoundedRect(QRectF(6.3, 6.45, 7.8, 1.0), 0.5, 0.5);
    window.addRoundedRect(QRectF(6.3, 4.55, 5.4, 1.0), 0.5, 0.5);
    painter.fillPath(window, withAlpha(color, 1.0));
    return image;
}

} // namespace hg
