#include "platform/settings_window/tint_color_picker.h"

#include <QFormLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "platform/settings_window/glass_panels.h"

namespace hg {
namespace {

QColor qcolor(const Color& c) { return QColor::fromRgbF(c.red, c.green, c.blue); }

} // namespace

TintColorPicker::TintColorPicker(const QStringList& labels, QWidget* parent) : QWidget(parent)
{
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(6);
    m_hue = new GlassSlider(0, 1, 1.0 / 360, this);
    m_saturation = new GlassSlider(0, 1, 0.01, this);
    m_brightness = new GlassSlider(0, 1, 0.01, this);
    m_hex = new QLineEdit(this);
    m_hex->setPlaceholderText(labels.value(3));
    m_hex->setAccessibleName(labels.value(3));
    m_hex->setMaxLength(16);
    m_hex->setFixedWidth(220);
    GlassSlider* sliders[] = {m_hue, m_saturation, m_brightness};
    for (int i = 0; i < 3; ++i) {
        sliders[i]->setAccessibleName(labels.value(i));
        auto* label = new QLabel(labels.value(i), this);
        label->setFont(glass::font(12, 500));
        form->addRow(label, sliders[i]);
        connect(sliders[i], &GlassSlider::valueFChanged, this, [this] { slidersMoved(); });
    }
    form->addRow(new QLabel(QStringLiteral("#"), this), m_hex);
    connect(m_hex, &QLineEdit::editingFinished, this, [this] { hexEdited(); });
    refreshGradients();
}

void TintColorPicker::setColor(const Color& color)
{
    const Color current = fromHsb(m_hsb);
    if (hexText(current) != hexText(color)) {
        m_hsb = toHsb(color);
    }
    const QSignalBlocker b1(m_hue), b2(m_saturation), b3(m_brightness);
    m_hue->setValueF(m_hsb.hue);
    m_saturation->setValueF(m_hsb.saturation);
    m_brightness->setValueF(m_hsb.brightness);
    if (!m_hex->hasFocus())
        m_hex->setText(QString::fromStdString(hexText(color)));
    refreshGradients();
}

void TintColorPicker::setScheme(const glass::Scheme& scheme)
{
    m_scheme = scheme;
    for (GlassSlider* s : {m_hue, m_saturation, m_brightness})
        s->setScheme(scheme);
    for (QLabel* label : findChildren<QLabel*>()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, scheme.secondaryText());
        label->setPalette(palette);
    }
}

void TintColorPicker::slidersMoved()
{
    m_hsb = {m_hue->valueF(), m_saturation->valueF(), m_brightness->valueF()};
    const Color color = fromHsb(m_hsb);
    m_hex->setText(QString::fromStdString(hexText(color)));
    refreshGradients();
    Q_EMIT colorChosen(color);
}

void TintColorPicker::hexEdited()
{
    const std::optional<Color> color = colorFromHex(m_hex->text().toStdString());
    if (!color) {
        // Not a colour: the field shakes and shows the current colour again.
        shake(m_hex);
        m_hex->setText(QString::fromStdString(hexText(fromHsb(m_hsb))));
        return;
    }
    m_hsb = toHsb(*color);
    setColor(*color);
    Q_EMIT colorChosen(*color);
}

void TintColorPicker::refreshGradients()
{
    QGradientStops hue;
    for (int i = 0; i <= 6; ++i)
        hue.append({i / 6.0, QColor::fromHsvF(i == 6 ? 0 : i / 6.0, 1, 1)});
    m_hue->setTrackGradient(hue);
    m_saturation->setTrackGradient(
        {{0, qcolor(fromHsb({m_hsb.hue, 0, m_hsb.brightness}))}, {1, qcolor(fromHsb({m_hsb.hue, 1, m_hsb.brightness}))}});
    m_brightness->setTrackGradient(
        {{0, Qt::black}, {1, qcolor(fromHsb({m_hsb.hue, m_hsb.saturation, 1}))}});
}

} // namespace hg
