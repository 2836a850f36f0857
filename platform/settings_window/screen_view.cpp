#include "platform/settings_window/screen_view.h"

#include <QMenu>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace hg {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

// About's identity card: icon, name, tagline and the status capsule.
class IdentityCard final : public QWidget {
public:
    explicit IdentityCard(QWidget* parent) : QWidget(parent) { setMinimumHeight(250); }
    void setModel(const IdentityCardModel& model, const glass::Scheme& scheme)
    {
        m_model = model;
        m_scheme = scheme;
        setAccessibleName(qs(model.name));
        setAccessibleDescription(qs(model.tagline + " " + model.versionText));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal cx = width() / 2.0;
        // Shadow: black at 0.3, 24 blur, 12 down, approximated by stacked rounded rects.
        for (int i = 0; i < 8; ++i) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 10));
            p.drawRoundedRect(QRectF(cx - 56 - i * 1.5, 12 + 12 - i + 0.0, 112 + i * 3, 112 + i * 2), 26 + i, 26 + i);
        }
        p.drawPixmap(QPointF(cx - 56, 12), appIconPixmap(112, devicePixelRatioF()));
        p.setPen(m_scheme.primaryText());
        p.setFont(glass::font(22, 600));
        p.drawText(QRectF(0, 136, width(), 30), Qt::AlignCenter, qs(m_model.name));
        p.setPen(m_scheme.secondaryText());
        p.setFont(glass::font(13));
        p.drawText(QRectF(0, 168, width(), 22), Qt::AlignCenter, qs(m_model.tagline));
        const QFont versionFont = glass::font(12, 500);
        const qreal textWidth = QFontMetricsF(versionFont).horizontalAdvance(qs(m_model.versionText));
        const QRectF capsule(cx - (textWidth + 38) / 2, 204, textWidth + 38, 26);
        p.setPen(QPen(m_scheme.panelStroke(), 1));
        p.setBrush(m_scheme.controlFill());
        p.drawRoundedRect(capsule, 13, 13);
        const QPointF dot(capsule.left() + 16, capsule.center().y());
        p.setPen(Qt::NoPen);
        if (m_model.statusLit) {
            QColor glow = glass::success();
            glow.setAlphaF(0.6 * 0.4);
            p.setBrush(glow);
            p.drawEllipse(dot, 7, 7);
            p.setBrush(glass::success());
        } else {
            p.setBrush(m_scheme.faintText());
        }
        p.drawEllipse(dot, 4, 4);
        p.setPen(m_scheme.secondaryText());
        p.setFont(versionFont);
        p.drawText(QRectF(capsule.left() + 26, capsule.top(), textWidth + 4, capsule.height()), Qt::AlignVCenter,
                   qs(m_model.versionText));
    }

private:
    IdentityCardModel m_model;
    glass::Scheme m_scheme;
};

} // namespace

QPixmap appIconPixmap(int size, qreal devicePixelRatio)
{
    QPixmap pixmap(qCeil(size * devicePixelRatio), qCeil(size * devicePixelRatio));
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, size, size);
    fill.setColorAt(0, glass::accent().lighter(130));
    fill.setColorAt(1, glass::accent().darker(120));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.23, size * 0.23);
    const int glyph = qRound(size * 0.6);
    p.drawPixmap(QPointF((size - glyph) / 2.0, (size - glyph) / 2.0),
                 glass::icon(QStringLiteral("eye.slash"), Qt::white, glyph, devicePixelRatio));
    return pixmap;
}

ScreenView::ScreenView(ScreenViewHost& host, QWidget* parent) : QWidget(parent), m_host(host)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
}

SettingsRow* ScreenView::row(const std::string& id) const
{
    const auto it = m_rows.find(id);
    return it == m_rows.end() ? nullptr : it->second.row;
}

std::string ScreenView::signature(const SettingsScreenModel& model)
{
    std::string s = model.showsHeader ? "H|" : "-|";
    for (const SettingsSectionModel& section : model.sections) {
        s += section.id + (section.calloutAbove ? "^" : "") + (section.calloutBelow ? "v" : "") + "[";
        for (const SettingsRowModel& r : section.rows)
            s += r.id + ":" + std::to_string(static_cast<int>(r.control)) + (r.expanded ? "+" : "") +
                 (r.calloutBelow ? "!" : "") + (r.appIconName.empty() ? "" : "@" + r.appIconName) + ",";
        s += "]";
    }
    return s;
}

void ScreenView::apply(const SettingsScreenModel& model, const glass::Scheme& scheme)
{
    const std::string sig = signature(model);
    if (sig != m_signature) {
        m_signature = sig;
        rebuild(model);
    }
    if (m_header)
        m_header->setTexts(qs(model.title), qs(model.subtitle));
    for (const SettingsSectionModel& section : model.sections) {
        for (const SettingsRowModel& r : section.rows)
            updateRow(m_rows[r.id], r);
        if (section.identity && m_identityCard)
            static_cast<IdentityCard*>(m_identityCard)->setModel(*section.identity, scheme);
    }
    // Section labels follow the language.
    int i = 0;
    const auto labels = findChildren<SectionLabel*>();
    for (const SettingsSectionModel& section : model.sections)
        if (!section.label.empty() && i < labels.size())
            labels[i++]->setText(qs(section.label));
    applyScheme(scheme);
}

void ScreenView::rebuild(const SettingsScreenModel& model)
{
    m_rows.clear();
    m_identityCard = nullptr;
    delete m_body;
    m_header = nullptr;
    m_body = new QWidget(this);
    auto* body = new QVBoxLayout(m_body);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(6);
    if (model.showsHeader) {
        m_header = new PageHeader(qs(model.title), qs(model.subtitle), nullptr, m_body);
        body->addWidget(m_header);
    }
    for (const SettingsSectionModel& section : model.sections)
        body->addWidget(buildSection(section));
    m_layout->addWidget(m_body);
}

QWidget* ScreenView::buildSection(const SettingsSectionModel& section)
{
    auto* box = new QWidget(m_body);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->setSpacing(6);
    if (section.identity) {
        layout->addSpacing(24);
        auto* card = new IdentityCard(box);
        card->setModel(*section.identity, m_scheme);
        m_identityCard = card;
        layout->addWidget(card);
        return box;
    }
    if (!section.label.empty())
        layout->addWidget(new SectionLabel(qs(section.label), box));
    if (section.calloutAbove) {
        const CalloutModel& c = *section.calloutAbove;
        layout->addWidget(new Callout(qs(c.title), qs(c.message), qs(c.icon), glass::tintColor(c.tint, m_scheme), box));
        layout->addSpacing(10);
    }
    auto* panel = new GlassPanel(box);
    panel->setAccessibleName(qs(section.label));
    bool first = true;
    for (const SettingsRowModel& r : section.rows) {
        RowParts parts = buildRow(r, first);
        panel->rowsLayout()->addWidget(parts.row);
        m_rows[r.id] = parts;
        first = false;
    }
    layout->addWidget(panel);
    if (section.calloutBelow) {
        const CalloutModel& c = *section.calloutBelow;
        layout->addSpacing(4);
        layout->addWidget(new Callout(qs(c.title), qs(c.message), qs(c.icon), glass::tintColor(c.tint, m_scheme), box));
    }
    return box;
}

} // namespace hg
