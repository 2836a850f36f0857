#include "platform/settings_window/glass_controls.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <cmath>

namespace hg {
namespace {

QColor blend(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

void drawFocusRing(QPainter& p, const QRectF& rect, qreal radius)
{
    QColor ring = glass::accent();
    ring.setAlphaF(0.55);
    p.setPen(QPen(ring, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(rect.adjusted(1, 1, -1, -1), radius, radius);
}

} // namespace

// ---- GlassSwitch ---------------------------------------------------------

GlassSwitch::GlassSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void GlassSwitch::setScheme(const glass::Scheme& scheme)
{
    m_scheme = scheme;
    update();
}

void GlassSwitch::checkStateSet()
{
    // Set from the model: jump, no animation.
    m_knob = isChecked() ? 1 : 0;
    update();
}

void GlassSwitch::nextCheckState()
{
    QAbstractButton::nextCheckState();
    auto* animation = new QVariantAnimation(this);
    animation->setStartValue(m_knob);
    animation->setEndValue(isChecked() ? 1.0 : 0.0);
    animation->setDuration(glass::kTabDurationMs);
    animation->setEasingCurve(glass::tabCurve());
    connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_knob = v.toReal();
        update();
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void GlassSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        p.setOpacity(0.4);
    const QRectF track = QRectF(rect()).adjusted(2, 2, -2, -2);
    const qreal radius = track.height() / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(blend(m_scheme.controlFill(), glass::accent(), m_knob));
    p.drawRoundedRect(track, radius, radius);
    const qreal d = track.height() - 4;
    const QRectF knob(track.left() + 2 + (track.width() - d - 4) * m_knob, track.top() + 2, d, d);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(knob.translated(0, 0.8));
    p.setBrush(Qt::white);
    p.drawEllipse(knob);
    if (hasFocus())
        drawFocusRing(p, rect(), radius + 2);
}

// ---- GlassSlider ---------------------------------------------------------

GlassSlider::GlassSlider(double minimumValue, double maximumValue, double step, QWidget* parent)
    : QAbstractSlider(parent), m_scale(step >= 1 ? 1 : 100)
{
    // The slider's integer value is what a screen reader reads: points as they
    // are, fractions as percent.
    setOrientation(Qt::Horizontal);
    setRange(static_cast<int>(std::lround(minimumValue * m_scale)), static_cast<int>(std::lround(maximumValue * m_scale)));
    setSingleStep(std::max(1, static_cast<int>(std::lround(step * m_scale))));
    setPageStep(std::max(singleStep(), (maximum() - minimum()) / 10));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractSlider::valueChanged, this, [this] { Q_EMIT valueFChanged(valueF()); });
}

void GlassSlider::setScheme(const glass::Scheme& scheme)
{
    m_scheme = scheme;
    update();
}

void GlassSlider::setValueF(double value) { setValue(static_cast<int>(std::lround(value * m_scale))); }

void GlassSlider::setDimmed(bool dimmed)
{
    m_dimmed = dimmed;
    setFocusPolicy(dimmed ? Qt::NoFocus : Qt::StrongFocus);
    update();
}

void GlassSlider::setTrackGradient(const QGradientStops& stops)
{
    m_gradient = stops;
    update();
}

QRectF GlassSlider::trackRect() const { return QRectF(10, height() / 2.0 - 3, width() - 20, 6); }

void GlassSlider::setFromPosition(qreal x)
{
    const QRectF track = trackRect();
    const qreal t = std::clamp((x - track.left()) / track.width(), 0.0, 1.0);
    const int steps = static_cast<int>(std::lround(t * (maximum() - minimum()) / singleStep()));
    setValue(std::min(maximum(), minimum() + steps * singleStep()));
}

void GlassSlider::mousePressEvent(QMouseEvent* event)
{
    if (m_dimmed || event->button() != Qt::LeftButton)
        return event->ignore();
    setSliderDown(true);
    setFromPosition(event->position().x());
}

void GlassSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dimmed || !isSliderDown())
        return event->ignore();
    setFromPosition(event->position().x());
}

void GlassSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dimmed)
        return event->ignore();
    setSliderDown(false);
}

void GlassSlider::keyPressEvent(QKeyEvent* event)
{
    if (m_dimmed)
        return event->ignore();
    QAbstractSlider::keyPressEvent(event);
}

void GlassSlider::wheelEvent(QWheelEvent* event)
{
    // A scrolling page must not change values under the pointer.
    event->ignore();
}

void GlassSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_dimmed || !isEnabled())
        p.setOpacity(0.4);
    const QRectF track = trackRect();
    const qreal t = maximum() > minimum() ? qreal(value() - minimum()) / (maximum() - minimum()) : 0;
    p.setPen(Qt::NoPen);
    if (!m_gradient.isEmpty()) {
        QLinearGradient gradient(track.topLeft(), track.topRight());
        gradient.setStops(m_gradient);
        p.setBrush(gradient);
        p.drawRoundedRect(track.adjusted(0, -2, 0, 2), 5, 5);
    } else {
        p.setBrush(m_scheme.controlFill());
        p.drawRoundedRect(track, 3, 3);
        p.setBrush(glass::accent());
        p.drawRoundedRect(QRectF(track.left(), track.top(), track.width() * t, track.height()), 3, 3);
    }
    const QPointF centre(track.left() + track.width() * t, track.center().y());
    p.setBrush(QColor(0, 0, 0, 50));
    p.drawEllipse(centre + QPointF(0, 0.8), 9, 9);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 8.5, 8.5);
    if (hasFocus()) {
        QColor ring = glass::accent();
        ring.setAlphaF(0.6);
        p.setPen(QPen(ring, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, 11, 11);
    }
}

// ---- PrimaryButton and GhostButton ----------------------------------------

PrimaryButton::PrimaryButton(const QString& title, const QString& icon, QWidget* parent)
    : QAbstractButton(parent), m_icon(icon)
{
    setText(title);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize PrimaryButton::sizeHint() const
{
    const QFontMetrics metrics(glass::font(13, 600));
    return {metrics.horizontalAdvance(text()) + (m_icon.isEmpty() ? 28 : 48), 30};
}

void PrimaryButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        p.setOpacity(0.5);
    QColor fill = glass::accent();
    if (isDown())
        fill = fill.darker(115);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 8, 8);
    qreal x = 14;
    if (!m_icon.isEmpty()) {
        p.drawPixmap(QPointF(x, (height() - 14) / 2.0), glass::icon(m_icon, Qt::white, 14, devicePixelRatioF()));
        x += 20;
    }
    p.setPen(Qt::white);
    p.setFont(glass::font(13, 600));
    p.drawText(QRectF(x, 0, width() - x - 10, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    if (hasFocus())
        drawFocusRing(p, rect(), 9);
}

GhostButton::GhostButton(const QString& title, const QString& icon, QWidget* parent)
    : QAbstractButton(parent), m_icon(icon)
{
    setText(title);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize GhostButton::sizeHint() const
{
    if (m_borderless)
        return {28, 28};
    const QFontMetrics metrics(glass::font(13, 500));
    return {metrics.horizontalAdvance(text()) + (m_icon.isEmpty() ? 26 : 46), 30};
}

void GhostButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        p.setOpacity(0.45);
    const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (!m_borderless || m_hovered) {
        p.setPen(m_borderless ? Qt::NoPen : QPen(m_scheme.panelStroke(), 1));
        p.setBrush(m_hovered || isDown() ? m_scheme.hoverFill() : m_scheme.controlFill());
        p.drawRoundedRect(frame, 8, 8);
    }
    const QColor ink = m_iconColor.isValid() ? m_iconColor : m_scheme.primaryText();
    if (m_borderless) {
        p.drawPixmap(QPointF((width() - 18) / 2.0, (height() - 18) / 2.0),
                     glass::icon(m_icon, ink, 18, devicePixelRatioF()));
    } else {
        qreal x = 12;
        if (!m_icon.isEmpty()) {
            p.drawPixmap(QPointF(x, (height() - 14) / 2.0), glass::icon(m_icon, ink, 14, devicePixelRatioF()));
            x += 20;
        }
        p.setPen(m_scheme.primaryText());
        p.setFont(glass::font(13, 500));
        p.drawText(QRectF(x, 0, width() - x - 8, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
    if (hasFocus())
        drawFocusRing(p, rect(), 9);
}

// ---- KeyCap and IconTile ---------------------------------------------------

KeyCap::KeyCap(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setFont(glass::font(10.5, 600));
    setContentsMargins(6, 1, 6, 1);
    setAlignment(Qt::AlignCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void KeyCap::setScheme(const glass::Scheme& scheme)
{
    m_scheme = scheme;
    update();
}

void KeyCap::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(m_scheme.panelStroke(), 1));
    p.setBrush(m_scheme.controlFill());
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    p.setPen(m_scheme.secondaryText());
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
}

IconTile::IconTile(const QString& systemName, Tint tint, QWidget* parent, int size)
    : QLabel(parent), m_name(systemName), m_tint(tint), m_size(size)
{
    setFixedSize(size, size);
}

void IconTile::setSymbol(const QString& systemName, Tint tint)
{
    m_name = systemName;
    m_tint = tint;
    update();
}

void IconTile::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!m_appIcon.isNull()) {
        m_appIcon.paint(&p, rect());
        return;
    }
    QColor tint = glass::tintColor(m_tint, m_scheme);
    QColor fill = tint;
    fill.setAlphaF(m_scheme.dark ? 0.22 : 0.14);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()), m_size * 0.28, m_size * 0.28);
    const int glyph = qRound(m_size * 0.58);
    const QPointF at((m_size - glyph) / 2.0, (m_size - glyph) / 2.0);
    p.drawPixmap(at, glass::icon(m_name, tint, glyph, devicePixelRatioF()));
}

} // namespace hg
