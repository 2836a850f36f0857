#include "platform/settings_window/glass_style.h"

#include <QFile>
#include <QFont>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include "ui/settings/hex_color.h"

// Resources of a static library must be registered by name, outside any namespace.
static void registerSettingsIcons() { Q_INIT_RESOURCE(settings_icons); }

namespace hg::glass {
namespace {

QColor token(std::string_view hex, Qt::GlobalColor fallback)
{
    const std::optional<Color> color = colorFromHex(hex);
    return color ? QColor::fromRgbF(color->red, color->green, color->blue) : QColor(fallback);
}

} // namespace

QColor accent() { return token(design_tokens::accent, Qt::blue); }
QColor success() { return token(design_tokens::success, Qt::green); }
QColor warning() { return token(design_tokens::warning, Qt::darkYellow); }
QColor danger() { return token(design_tokens::danger, Qt::red); }

QColor tintColor(Tint tint, const Scheme& scheme)
{
    switch (tint) {
    case Tint::accent: return accent();
    case Tint::neutral: return scheme.secondaryText();
    case Tint::danger: return danger();
    case Tint::warning: return warning();
    case Tint::success: return success();
    }
    return accent();
}

QEasingCurve tabCurve()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment({0.32, 0.72}, {0, 1}, {1, 1});
    return curve;
}

QEasingCurve recorderCurve()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment({0.4, 0}, {0.2, 1}, {1, 1});
    return curve;
}

QPixmap icon(const QString& name, const QColor& color, int size, qreal devicePixelRatio)
{
    // Rendering an SVG costs about a tenth of a millisecond; rows redraw often.
    static QHash<QString, QPixmap> cache;
    const QString key = QStringLiteral("%1|%2|%3|%4").arg(name, color.name(QColor::HexArgb)).arg(size).arg(devicePixelRatio);
    if (const auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    static const bool registered = (registerSettingsIcons(), true);
    (void)registered;
    QSvgRenderer renderer(QStringLiteral(":/settings-icons/%1.svg").arg(name));
    if (!renderer.isValid())
        return {};
    const int pixels = qCeil(size * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    cache.insert(key, pixmap);
    return pixmap;
}

QFont font(qreal pointSize, int weight, qreal letterSpacing)
{
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    f.setPixelSize(qRound(pointSize));
    f.setWeight(static_cast<QFont::Weight>(weight));
    if (letterSpacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
    return f;
}

} // namespace hg::glass
