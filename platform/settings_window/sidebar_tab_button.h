// One tab of the settings window's sidebar: icon, title and keycap; checked
// (and so announced as selected) while its screen shows. A QAbstractButton:
// Tab reaches it, Space selects it. Main thread only.
#pragma once

#include <QAbstractButton>
#include <QPainter>

#include "platform/settings_window/glass_style.h"

namespace hg {

// One tab of the sidebar: icon, title and keycap; checked while selected.
class SidebarTabButton final : public QAbstractButton {
    Q_OBJECT
public:
    SidebarTabButton(const SidebarTab& tab, QWidget* parent) : QAbstractButton(parent), m_tab(tab)
    {
        setCheckable(true);
        setAutoExclusive(true);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        setFixedHeight(36);
        setTab(tab);
    }
    void setTab(const SidebarTab& tab)
    {
        m_tab = tab;
        setText(QString::fromStdString(tab.title));
        setAccessibleName(text());
        setAccessibleDescription(QString::fromStdString(tab.keyCap));
        update();
    }
    void setScheme(const glass::Scheme& scheme)
    {
        m_scheme = scheme;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (isChecked()) {
            p.setPen(Qt::NoPen);
            p.setBrush(m_scheme.dark ? QColor(255, 255, 255, 14) : QColor(255, 255, 255, 150));
            p.drawRoundedRect(r, 9, 9);
            QColor overlay = glass::accent();
            overlay.setAlphaF(m_scheme.dark ? 0.22 : 0.13);
            p.setBrush(overlay);
            p.drawRoundedRect(r, 9, 9);
        } else if (underMouse()) {
            p.setPen(Qt::NoPen);
            p.setBrush(m_scheme.controlFill());
            p.drawRoundedRect(r, 9, 9);
        }
        const QColor ink = isChecked() ? m_scheme.primaryText() : m_scheme.secondaryText();
        const QColor iconInk = isChecked() ? glass::accent() : m_scheme.secondaryText();
        p.drawPixmap(QPointF(10 + 3, (height() - 16) / 2.0),
                     glass::icon(QString::fromStdString(m_tab.icon), iconInk, 16, devicePixelRatioF()));
        p.setPen(ink);
        p.setFont(glass::font(13, 500));
        p.drawText(QRectF(42, 0, width() - 42, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
        const QFont capFont = glass::font(10.5, 600);
        const QString cap = QString::fromStdString(m_tab.keyCap);
        const qreal capWidth = QFontMetricsF(capFont).horizontalAdvance(cap) + 12;
        const QRectF capRect(width() - capWidth - 8, (height() - 18) / 2.0, capWidth, 18);
        p.setPen(QPen(m_scheme.panelStroke(), 1));
        p.setBrush(m_scheme.controlFill());
        p.drawRoundedRect(capRect, 5, 5);
        p.setPen(m_scheme.faintText());
        p.setFont(capFont);
        p.drawText(capRect, Qt::AlignCenter, cap);
        if (hasFocus()) {
            QColor ring = glass::accent();
            ring.setAlphaF(0.55);
            p.setPen(QPen(ring, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 9, 9);
        }
    }

private:
    SidebarTab m_tab;
    glass::Scheme m_scheme;
};

} // namespace hg
