// The settings window's containers and texts: the window backdrop, page
// headers, section labels, rounded panels of rows, one row, callouts, the
// picker, the shortcut recorder's cap and the shake effect.
//
//   GlassPicker     QComboBox (combo box: arrows and type-ahead choose,
//                   the selection is its value; its list rows are
//                   drawn as GlassPickerRows)
//   RecordCap       QAbstractButton (push button)
//
// Main thread only.
#pragma once

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "platform/settings_window/glass_controls.h"

namespace hg {

class SettingsBackdrop final : public QWidget, public SchemeAware {
    Q_OBJECT
public:
    explicit SettingsBackdrop(QWidget* parent = nullptr) : QWidget(parent) {}
    void setScheme(const glass::Scheme& scheme) override { m_scheme = scheme; update(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    glass::Scheme m_scheme;
};

class PageHeader final : public QWidget, public SchemeAware {
    Q_OBJECT
public:
    PageHeader(const QString& title, const QString& subtitle, QWidget* trailing = nullptr, QWidget* parent = nullptr);
    void setTexts(const QString& title, const QString& subtitle);
    void setScheme(const glass::Scheme& scheme) override;

private:
    QLabel* m_title;
    QLabel* m_subtitle;
};

class SectionLabel final : public QLabel, public SchemeAware {
    Q_OBJECT
public:
    explicit SectionLabel(const QString& text, QWidget* parent = nullptr);
    void setScheme(const glass::Scheme& scheme) override;
};

class GlassPanel final : public QFrame, public SchemeAware {
    Q_OBJECT
public:
    explicit GlassPanel(QWidget* parent = nullptr, qreal radius = 14);
    QVBoxLayout* rowsLayout() { return m_layout; }
    void setScheme(const glass::Scheme& scheme) override { m_scheme = scheme; update(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QVBoxLayout* m_layout;
    qreal m_radius;
    glass::Scheme m_scheme;
};

class SettingsRow final : public QWidget, public SchemeAware {
    Q_OBJECT
public:
    SettingsRow(const QString& icon, Tint iconTint, bool isFirst, QWidget* parent = nullptr);
    void setTexts(const QString& title, const QString& subtitle);
    void setTrailing(QWidget* trailing);
    void setBelow(QWidget* below, int spacing = 6);
    void setOutline(const QColor& color);  // invalid: none
    void setScheme(const glass::Scheme& scheme) override;
    IconTile* tile() { return m_tile; }
    QLabel* titleLabel() { return m_title; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    IconTile* m_tile;
    QLabel* m_title;
    QLabel* m_subtitle;
    QHBoxLayout* m_top;
    QVBoxLayout* m_column;
    QWidget* m_trailing = nullptr;
    bool m_isFirst;
    QColor m_outline;
    glass::Scheme m_scheme;
};

class Callout final : public QFrame, public SchemeAware {
    Q_OBJECT
public:
    Callout(const QString& title, const QString& message, const QString& systemImage, const QColor& tint,
            QWidget* parent = nullptr);
    void setScheme(const glass::Scheme& scheme) override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QLabel* m_icon;
    QLabel* m_title;
    QLabel* m_message;
    QString m_symbol;
    QColor m_tint;
    glass::Scheme m_scheme;
};

// Draws one choice of the picker's list: text, and a check mark when selected;
// highlighted while hovered.
class GlassPickerRow final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit GlassPickerRow(QObject* parent) : QStyledItemDelegate(parent) {}
    void setScheme(const glass::Scheme& scheme) { m_scheme = scheme; }
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {160, 28}; }

private:
    glass::Scheme m_scheme;
};

class GlassPicker final : public QComboBox, public SchemeAware {
    Q_OBJECT
public:
    explicit GlassPicker(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    void setScheme(const glass::Scheme& scheme) override;

protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    GlassPickerRow* m_rows;
    glass::Scheme m_scheme;
};

// The shortcut recorder's button: the shortcut's text, or the prompt while
// recording; outlined in the accent colour, or the danger colour with an error.
class RecordCap final : public QAbstractButton, public SchemeAware {
    Q_OBJECT
public:
    explicit RecordCap(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    void setRecording(bool recording, bool error);
    void setScheme(const glass::Scheme& scheme) override { m_scheme = scheme; update(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    bool m_recording = false;
    bool m_error = false;
    glass::Scheme m_scheme;
};

// Shakes a widget sideways (a refused input): about 6 points, three times.
void shake(QWidget* widget);

} // namespace hg
