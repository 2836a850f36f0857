// The blur tint's colour chooser: hue, saturation and brightness sliders and
// a hex field. The sliders keep their own hue and saturation, so dragging
// brightness to black and back does not lose the hue.
//
// Main thread only.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include "base/color.h"
#include "platform/settings_window/glass_controls.h"
#include "ui/settings/hex_color.h"

namespace hg {

class TintColorPicker final : public QWidget, public SchemeAware {
    Q_OBJECT
public:
    // `labels`: hue, saturation, brightness, hex placeholder (translated).
    TintColorPicker(const QStringList& labels, QWidget* parent = nullptr);
    // From the model; emits nothing.
    void setColor(const Color& color);
    void setScheme(const glass::Scheme& scheme) override;

Q_SIGNALS:
    void colorChosen(const hg::Color& color);

private:
    void slidersMoved();
    void hexEdited();
    void refreshGradients();

    GlassSlider* m_hue;
    GlassSlider* m_saturation;
    GlassSlider* m_brightness;
    QLineEdit* m_hex;
    Hsb m_hsb;
    glass::Scheme m_scheme;
};

} // namespace hg
