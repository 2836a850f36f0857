// The settings window's controls, drawn by the program on the Qt class each
// resembles, so that keyboard focus, Tab order, Space and the arrow keys, and
// accessibility (name, role, value for AT-SPI) come with the class:
//
//   GlassSwitch     QAbstractButton, checkable   (toggle button; Space flips it)
//   GlassSlider     QAbstractSlider              (slider; arrows step, value exposed)
//   PrimaryButton   QAbstractButton              (filled accent button)
//   GhostButton     QAbstractButton              (quiet button, hover highlight)
//   KeyCap          QLabel                       ("Ctrl+K" badge)
//   IconTile        QLabel                       (square tile with a symbol)
//
// Every control draws from a `glass::Scheme` and redraws when it changes.
// Main thread only.
#pragma once

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QLabel>

#include "platform/settings_window/glass_style.h"

namespace hg {

// Implemented by every control that follows the colour scheme.
class SchemeAware {
public:
    virtual ~SchemeAware() = default;
    virtual void setScheme(const glass::Scheme& scheme) = 0;
};

class GlassSwitch final : public QAbstractButton, public SchemeAware {
    Q_OBJECT
public:
    explicit GlassSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {44, 26}; }
    void setScheme(const glass::Scheme& scheme) override;

protected:
    void paintEvent(QPaintEvent*) override;
    void checkStateSet() override;
    void nextCheckState() override;

private:
    void updateAccessibleValue();
    glass::Scheme m_scheme;
    qreal m_knob = 0;  // 0 off … 1 on, animated
};

class GlassSlider final : public QAbstractSlider, public SchemeAware {
    Q_OBJECT
public:
    // Over [minimum, maximum] in steps of `step`; `valueF` is the real value.
    GlassSlider(double minimum, double maximum, double step, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {240, 24}; }
    void setScheme(const glass::Scheme& scheme) override;

    [[nodiscard]] double valueF() const { return value() / m_scale; }
    void setValueF(double value);
    // Drawn at 0.4 opacity and deaf to mouse and keys while dimmed.
    void setDimmed(bool dimmed);
    [[nodiscard]] bool isDimmed() const { return m_dimmed; }
    // A gradient drawn in the track instead of the accent fill (the tint picker).
    void setTrackGradient(const QGradientStops& stops);

Q_SIGNALS:
    void valueFChanged(double value);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void setFromPosition(qreal x);
    [[nodiscard]] QRectF trackRect() const;

    double m_scale;  // integer value per unit: 1, or 100 for fractions
    bool m_dimmed = false;
    QGradientStops m_gradient;
    glass::Scheme m_scheme;
};

class PrimaryButton final : public QAbstractButton, public SchemeAware {
    Q_OBJECT
public:
    PrimaryButton(const QString& title, const QString& icon, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    void setScheme(const glass::Scheme& scheme) override { m_scheme = scheme; update(); }
    void setIconName(const QString& icon) { m_icon = icon; update(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_icon;
    glass::Scheme m_scheme;
};

class GhostButton final : public QAbstractButton, public SchemeAware {
    Q_OBJECT
public:
    GhostButton(const QString& title, const QString& icon, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    void setScheme(const glass::Scheme& scheme) override { m_scheme = scheme; update(); }
    void setIconName(const QString& icon) { m_icon = icon; update(); }
    // Icon only, no frame (the remove button of an excluded app).
    void setBorderless(bool borderless) { m_borderless = borderless; updateGeometry(); update(); }
    void setIconColor(const QColor& color) { m_iconColor = color; update(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override { m_hovered = true; update(); }
    void leaveEvent(QEvent*) override { m_hovered = false; update(); }

private:
    QString m_icon;
    QColor m_iconColor;
    bool m_hovered = false;
    bool m_borderless = false;
    glass::Scheme m_scheme;
};

class KeyCap final : public QLabel, public SchemeAware {
    Q_OBJECT
public:
    explicit KeyCap(const QString& text, QWidget* parent = nullptr);
    void setScheme(const glass::Scheme& scheme) override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    glass::Scheme m_scheme;
};

class IconTile final : public QLabel, public SchemeAware {
    Q_OBJECT
public:
    IconTile(const QString& systemName, Tint tint, QWidget* parent = nullptr, int size = 30);
    void setScheme(const glass::Scheme& scheme) override { m_scheme = scheme; update(); }
    void setSymbol(const QString& systemName, Tint tint);
    // A desktop icon (an excluded app) instead of the symbol; null to go back.
    void setApplicationIcon(const QIcon& icon) { m_appIcon = icon; update(); }
    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_name;
    Tint m_tint;
    QIcon m_appIcon;
    int m_size;
    glass::Scheme m_scheme;
};

} // namespace hg
