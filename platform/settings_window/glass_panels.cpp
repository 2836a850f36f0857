#include "platform/settings_window/glass_panels.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QWheelEvent>

namespace hg {
namespace {

QLabel* textLabel(const QString& text, qreal size, int weight, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(glass::font(size, weight));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

void setTextColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

void SettingsBackdrop::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient base(0, 0, width(), height());
    if (m_scheme.dark) {
        base.setColorAt(0, QColor(0x1C, 0x1F, 0x2A));
        base.setColorAt(1, QColor(0x12, 0x13, 0x1A));
    } else {
        base.setColorAt(0, QColor(0xF4, 0xF6, 0xFB));
        base.setColorAt(1, QColor(0xE8, 0xEB, 0xF3));
    }
    p.fillRect(rect(), base);
    // A soft accent glow in the top-left corner, behind the sidebar.
    QRadialGradient glow(QPointF(width() * 0.1, height() * 0.05), width() * 0.5);
    QColor accent = glass::accent();
    accent.setAlphaF(m_scheme.dark ? 0.16 : 0.10);
    glow.setColorAt(0, accent);
    glow.setColorAt(1, Qt::transparent);
    p.fillRect(rect(), glow);
}

PageHeader::PageHeader(const QString& title, const QString& subtitle, QWidget* trailing, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 8);
    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    m_title = textLabel(title, 26, 700, this);
    m_title->setAccessibleName(title);
    m_subtitle = textLabel(subtitle, 13, 400, this);
    column->addWidget(m_title);
    column->addWidget(m_subtitle);
    row->addLayout(column, 1);
    if (trailing)
        row->addWidget(trailing, 0, Qt::AlignTop);
}

void PageHeader::setTexts(const QString& title, const QString& subtitle)
{
    m_title->setText(title);
    m_subtitle->setText(subtitle);
}

void PageHeader::setScheme(const glass::Scheme& scheme)
{
    setTextColor(m_title, scheme.primaryText());
    setTextColor(m_subtitle, scheme.secondaryText());
}

SectionLabel::SectionLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setFont(glass::font(12, 600, 0.3));
    setContentsMargins(4, 10, 0, 2);
}

void SectionLabel::setScheme(const glass::Scheme& scheme) { setTextColor(this, scheme.secondaryText()); }

GlassPanel::GlassPanel(QWidget* parent, qreal radius) : QFrame(parent), m_radius(radius)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
}

void GlassPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(m_scheme.panelStroke(), 1));
    p.setBrush(m_scheme.panelFill());
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
}

SettingsRow::SettingsRow(const QString& icon, Tint iconTint, bool isFirst, QWidget* parent)
    : QWidget(parent), m_isFirst(isFirst)
{
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(14, 12, 14, 12);
    m_column->setSpacing(0);
    m_top = new QHBoxLayout;
    m_top->setSpacing(12);
    m_tile = new IconTile(icon, iconTint, this);
    m_top->addWidget(m_tile, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = textLabel({}, 13.5, 600, this);
    m_subtitle = textLabel({}, 12, 400, this);
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);
    m_top->addLayout(texts, 1);
    m_column->addLayout(m_top);
}

void SettingsRow::setTexts(const QString& title, const QString& subtitle)
{
    m_title->setText(title);
    m_subtitle->setText(subtitle);
    m_subtitle->setVisible(!subtitle.isEmpty());
    if (m_trailing && m_trailing->accessibleName().isEmpty())
        m_trailing->setAccessibleName(title);
}

void SettingsRow::setTrailing(QWidget* trailing)
{
    m_trailing = trailing;
    // A screen reader names the control by the row's title.
    m_title->setBuddy(trailing);
    m_top->addWidget(trailing, 0, Qt::AlignVCenter);
}

void SettingsRow::setBelow(QWidget* below, int spacing)
{
    m_column->addSpacing(spacing);
    m_column->addWidget(below);
}

void SettingsRow::setOutline(const QColor& color)
{
    m_outline = color;
    update();
}

void SettingsRow::setScheme(const glass::Scheme& scheme)
{
    m_scheme = scheme;
    setTextColor(m_title, scheme.primaryText());
    setTextColor(m_subtitle, scheme.secondaryText());
    m_tile->setScheme(scheme);
    update();
}

void SettingsRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!m_isFirst) {
        p.setPen(QPen(m_scheme.separator(), 1));
        p.drawLine(QPointF(56, 0.5), QPointF(width() - 14, 0.5));
    }
    if (m_outline.isValid()) {
        p.setPen(QPen(m_outline, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(3, 3, -3, -3), 11, 11);
    }
}

Callout::Callout(const QString& title, const QString& message, const QString& systemImage, const QColor& tint,
                 QWidget* parent)
    : QFrame(parent), m_symbol(systemImage), m_tint(tint)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 12, 14, 12);
    row->setSpacing(10);
    m_icon = new QLabel(this);
    m_icon->setFixedSize(18, 18);
    row->addWidget(m_icon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    m_title = textLabel(title, 13, 600, this);
    m_message = textLabel(message, 12, 400, this);
    texts->addWidget(m_title);
    texts->addWidget(m_message);
    row->addLayout(texts, 1);
    setAccessibleName(title);
    setAccessibleDescription(message);
}

void Callout::setScheme(const glass::Scheme& scheme)
{
    m_scheme = scheme;
    m_icon->setPixmap(glass::icon(m_symbol, m_tint, 18, devicePixelRatioF()));
    setTextColor(m_title, scheme.primaryText());
    setTextColor(m_message, scheme.secondaryText());
    update();
}

void Callout::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = m_tint;
    fill.setAlphaF(m_scheme.dark ? 0.14 : 0.09);
    QColor stroke = m_tint;
    stroke.setAlphaF(0.35);
    p.setPen(QPen(stroke, 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

void GlassPickerRow::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(option.rect).adjusted(4, 1, -4, -1);
    if (option.state & (QStyle::State_MouseOver | QStyle::State_Selected)) {
        p->setPen(Qt::NoPen);
        QColor hover = glass::accent();
        hover.setAlphaF(m_scheme.dark ? 0.35 : 0.18);
        p->setBrush(hover);
        p->drawRoundedRect(r, 6, 6);
    }
    const auto* combo = qobject_cast<const QComboBox*>(parent());
    if (combo && combo->currentIndex() == index.row())
        p->drawPixmap(QPointF(r.left() + 6, r.center().y() - 7),
                      glass::icon(QStringLiteral("checkmark"), m_scheme.primaryText(), 14, p->device()->devicePixelRatioF()));
    p->setPen(m_scheme.primaryText());
    p->setFont(glass::font(13, 500));
    p->drawText(r.adjusted(26, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, index.data().toString());
    p->restore();
}

GlassPicker::GlassPicker(QWidget* parent) : QComboBox(parent), m_rows(new GlassPickerRow(this))
{
    setItemDelegate(m_rows);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize GlassPicker::sizeHint() const
{
    const QFontMetrics metrics(glass::font(13, 500));
    int widest = 60;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
    return {widest + 44, 30};
}

void GlassPicker::setScheme(const glass::Scheme& scheme)
{
    m_scheme = scheme;
    m_rows->setScheme(scheme);
    QPalette palette = view()->palette();
    palette.setColor(QPalette::Base, scheme.dark ? QColor(0x2A, 0x2D, 0x38) : QColor(0xFB, 0xFB, 0xFD));
    palette.setColor(QPalette::Text, scheme.primaryText());
    view()->setPalette(palette);
    update();
}

void GlassPicker::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        p.setOpacity(0.45);
    p.setPen(QPen(m_scheme.panelStroke(), 1));
    p.setBrush(underMouse() ? m_scheme.hoverFill() : m_scheme.controlFill());
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.setPen(m_scheme.primaryText());
    p.setFont(glass::font(13, 500));
    p.drawText(QRectF(12, 0, width() - 36, height()), Qt::AlignVCenter | Qt::AlignLeft, currentText());
    p.drawPixmap(QPointF(width() - 24, (height() - 14) / 2.0),
                 glass::icon(QStringLiteral("chevron.up.chevron.down"), m_scheme.secondaryText(), 14,
                             devicePixelRatioF()));
    if (hasFocus()) {
        QColor ring = glass::accent();
        ring.setAlphaF(0.55);
        p.setPen(QPen(ring, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 9, 9);
    }
}

void GlassPicker::wheelEvent(QWheelEvent* event) { event->ignore(); }

RecordCap::RecordCap(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize RecordCap::sizeHint() const
{
    const QFontMetrics metrics(glass::font(12.5, 600));
    return {std::max(120, metrics.horizontalAdvance(text()) + 28), 30};
}

void RecordCap::setRecording(bool recording, bool error)
{
    m_recording = recording;
    m_error = error;
    updateGeometry();
    update();
}

void RecordCap::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor outline = m_error ? glass::danger() : glass::accent();
    p.setPen(m_recording ? QPen(outline, 1.5) : QPen(m_scheme.panelStroke(), 1));
    QColor fill = m_recording ? outline : m_scheme.controlFill();
    if (m_recording)
        fill.setAlphaF(0.14);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 8, 8);
    p.setPen(m_recording ? outline : m_scheme.primaryText());
    p.setFont(glass::font(12.5, 600));
    p.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus() && !m_recording) {
        QColor ring = glass::accent();
        ring.setAlphaF(0.55);
        p.setPen(QPen(ring, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 9, 9);
    }
}

void shake(QWidget* widget)
{
    auto* animation = new QPropertyAnimation(widget, "pos", widget);
    const QPoint origin = widget->pos();
    animation->setDuration(360);
    for (int i = 0; i <= 6; ++i) {
        const int dx = i == 6 ? 0 : (i % 2 == 0 ? 6 : -6) * (6 - i) / 6;
        animation->setKeyValueAt(i / 6.0, origin + QPoint(dx, 0));
    }
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace hg
