// A screen's rows: the control each row model asks for, its updates in place,
// and the colour scheme.
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

#include "platform/settings_window/screen_view.h"

namespace hg {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

void later(QObject* context, std::function<void()> work) { QTimer::singleShot(0, context, std::move(work)); }

QLabel* trailingLabel(QWidget* parent, qreal size, int weight)
{
    auto* label = new QLabel(parent);
    label->setFont(glass::font(size, weight));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}


} // namespace

ScreenView::RowParts ScreenView::buildRow(const SettingsRowModel& model, bool isFirst)
{
    RowParts parts;
    auto* row = new SettingsRow(qs(model.icon), model.iconTint, isFirst);
    parts.row = row;
    const std::string id = model.id;
    SettingsActions& actions = m_host.actions;
    if (!model.appIconName.empty() && m_host.desktopIcon)
        row->tile()->setApplicationIcon(m_host.desktopIcon(model.appIconName));

    switch (model.control) {
    case ControlKind::none:
        if (!model.detail.empty()) {
            parts.detail = trailingLabel(row, 12, 600);
            row->setTrailing(parts.detail);
        }
        break;
    case ControlKind::statusText:
        parts.detail = trailingLabel(row, 12.5, 600);
        row->setTrailing(parts.detail);
        break;
    case ControlKind::toggle: {
        auto* toggle = new GlassSwitch(row);
        connect(toggle, &QAbstractButton::clicked, this, [this, id, &actions](bool on) {
            later(this, [&actions, id, on] { actions.toggle(id, on); });
        });
        parts.control = toggle;
        row->setTrailing(toggle);
        break;
    }
    case ControlKind::picker: {
        auto* picker = new GlassPicker(row);
        connect(picker, &QComboBox::activated, this, [this, id, &actions](int index) {
            later(this, [&actions, id, index] { actions.pick(id, index); });
        });
        parts.control = picker;
        row->setTrailing(picker);
        break;
    }
    case ControlKind::slider: {
        auto* texts = new QWidget(row);
        auto* column = new QVBoxLayout(texts);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        parts.detail = trailingLabel(texts, 12, 500);
        column->addWidget(parts.detail);
        if (!model.detailCaption.empty()) {
            parts.caption = trailingLabel(texts, 11, 400);
            column->addWidget(parts.caption);
        }
        row->setTrailing(texts);
        auto* slider = new GlassSlider(model.range.minimum, model.range.maximum, model.range.step, row);
        slider->setValueF(model.value);
        connect(slider, &GlassSlider::valueFChanged, this, [&actions, id](double v) { actions.slide(id, v); });
        parts.slider = slider;
        parts.control = slider;
        row->setBelow(slider, 6);
        break;
    }
    case ControlKind::button:
    case ControlKind::primaryButton: {
        QAbstractButton* button = model.control == ControlKind::button
                                      ? static_cast<QAbstractButton*>(new GhostButton({}, qs(model.buttonIcon), row))
                                      : new PrimaryButton({}, qs(model.buttonIcon), row);
        connect(button, &QAbstractButton::clicked, this,
                [this, id, &actions] { later(this, [&actions, id] { actions.press(id); }); });
        parts.control = button;
        row->setTrailing(button);
        break;
    }
    case ControlKind::swatch: {
        auto* swatch = new QPushButton(row);
        swatch->setFixedSize(44, 26);
        swatch->setFlat(true);
        swatch->setCursor(Qt::PointingHandCursor);
        connect(swatch, &QAbstractButton::clicked, this, [this] { later(this, m_host.toggleTintPicker); });
        parts.control = swatch;
        row->setTrailing(swatch);
        if (model.expanded) {
            auto* picker = new TintColorPicker({qs(m_host.i18n.translate("色相")), qs(m_host.i18n.translate("饱和度")),
                                                qs(m_host.i18n.translate("亮度")),
                                                qs(m_host.i18n.translate("十六进制颜色，例如 #3A7AFE"))},
                                               row);
            connect(picker, &TintColorPicker::colorChosen, this,
                    [&actions](const Color& color) { actions.setTintColor(color); });
            parts.tintPicker = picker;
            row->setBelow(picker, 10);
        }
        break;
    }
    case ControlKind::recorder: {
        auto* cap = new RecordCap(row);
        connect(cap, &QAbstractButton::clicked, this,
                [this, id, &actions] { later(this, [&actions, id] { actions.press(id); }); });
        parts.control = cap;
        row->setTrailing(cap);
        parts.error = new QLabel(row);
        parts.error->setFont(glass::font(12, 500));
        parts.error->setWordWrap(true);
        row->setBelow(parts.error, 4);
        break;
    }
    case ControlKind::removeButton: {
        auto* remove = new GhostButton({}, qs(model.buttonIcon), row);
        remove->setBorderless(true);
        remove->setIconColor(glass::danger());
        connect(remove, &QAbstractButton::clicked, this,
                [this, id, &actions] { later(this, [&actions, id] { actions.press(id); }); });
        parts.control = remove;
        row->setTrailing(remove);
        break;
    }
    case ControlKind::addMenu: {
        auto* add = new GhostButton({}, qs(model.buttonIcon), row);
        auto* menu = new QMenu(add);
        connect(menu, &QMenu::aboutToShow, this, [this, menu, &actions] {
            menu->clear();
            for (const auto& [bundleID, name] : m_host.addCandidates()) {
                QAction* item = menu->addAction(qs(name.empty() ? (bundleID.empty() ? m_host.i18n.translate("未知应用") : bundleID) : name));
                if (m_host.desktopIcon)
                    item->setIcon(m_host.desktopIcon(bundleID));
                connect(item, &QAction::triggered, this, [this, &actions, bundleID = bundleID] {
                    if (!bundleID.empty())
                        later(this, [&actions, bundleID] { actions.addExcludedApp(bundleID); });
                });
            }
        });
        connect(add, &QAbstractButton::clicked, this, [add, menu] { menu->popup(add->mapToGlobal(QPoint(0, add->height()))); });
        parts.control = add;
        row->setTrailing(add);
        break;
    }
    }
    if (model.calloutBelow) {
        const CalloutModel& c = *model.calloutBelow;
        row->setBelow(new Callout(qs(c.title), qs(c.message), qs(c.icon), glass::tintColor(c.tint, m_scheme), row), 6);
    }
    return parts;
}

void ScreenView::updateRow(RowParts& parts, const SettingsRowModel& model)
{
    if (!parts.row)
        return;
    parts.row->setTexts(qs(model.title), qs(model.subtitle));
    if (parts.detail)
        parts.detail->setText(qs(model.detail));
    if (parts.caption)
        parts.caption->setText(qs(model.detailCaption));
    QWidget* control = parts.control;
    if (control) {
        control->setAccessibleName(qs(model.accessibleLabel.empty() ? model.title : model.accessibleLabel));
        control->setAccessibleDescription(qs(model.subtitle));
        control->setToolTip(qs(model.help));
    }
    switch (model.control) {
    case ControlKind::toggle: {
        auto* toggle = static_cast<GlassSwitch*>(control);
        const QSignalBlocker block(toggle);
        toggle->setChecked(model.on);
        toggle->setEnabled(model.enabled);
        break;
    }
    case ControlKind::picker: {
        auto* picker = static_cast<GlassPicker*>(control);
        const QSignalBlocker block(picker);
        QStringList choices;
        for (const std::string& c : model.choices)
            choices << qs(c);
        QStringList current;
        for (int i = 0; i < picker->count(); ++i)
            current << picker->itemText(i);
        if (current != choices) {
            picker->clear();
            picker->addItems(choices);
        }
        picker->setCurrentIndex(model.selected);
        picker->updateGeometry();
        break;
    }
    case ControlKind::slider:
        if (!parts.slider->isSliderDown()) {
            const QSignalBlocker block(parts.slider);
            parts.slider->setValueF(model.value);
        }
        parts.slider->setDimmed(!model.enabled);
        break;
    case ControlKind::button:
    case ControlKind::primaryButton:
    case ControlKind::recorder:
        static_cast<QAbstractButton*>(control)->setText(qs(model.buttonTitle));
        control->setEnabled(model.enabled);
        control->updateGeometry();
        if (model.control == ControlKind::recorder) {
            static_cast<RecordCap*>(control)->setRecording(model.recording, !model.errorText.empty());
            parts.error->setText(qs(model.errorText));
            parts.error->setVisible(!model.errorText.empty());
            parts.row->setOutline(model.recording ? (model.errorText.empty() ? glass::accent() : glass::danger())
                                                  : QColor());
        }
        break;
    case ControlKind::swatch: {
        const QColor color = QColor::fromRgbF(model.swatchColor.red, model.swatchColor.green, model.swatchColor.blue);
        static_cast<QPushButton*>(control)->setStyleSheet(
            QStringLiteral("QPushButton{background:%1;border:1px solid rgba(0,0,0,0.25);border-radius:7px;}"
                           "QPushButton:focus{border:2px solid %2;}")
                .arg(color.name(), glass::accent().name()));
        control->setAccessibleDescription(color.name().toUpper());
        if (parts.tintPicker)
            parts.tintPicker->setColor(model.swatchColor);
        break;
    }
    case ControlKind::removeButton:
        control->setAccessibleName(qs(model.help + " " + model.title));
        break;
    case ControlKind::addMenu:
        static_cast<QAbstractButton*>(control)->setText(qs(model.buttonTitle));
        control->updateGeometry();
        break;
    case ControlKind::none:
    case ControlKind::statusText:
        break;
    }
}

void ScreenView::applyScheme(const glass::Scheme& scheme)
{
    m_scheme = scheme;
    for (QWidget* w : findChildren<QWidget*>())
        if (auto* aware = dynamic_cast<SchemeAware*>(w))
            aware->setScheme(scheme);
    for (auto& [id, parts] : m_rows) {
        QPalette palette;
        if (parts.detail) {
            palette = parts.detail->palette();
            const bool status = parts.control == nullptr && id == "permission.capture";
            palette.setColor(QPalette::WindowText, status ? glass::success() : scheme.primaryText());
            parts.detail->setPalette(palette);
        }
        if (parts.caption) {
            palette = parts.caption->palette();
            palette.setColor(QPalette::WindowText, scheme.secondaryText());
            parts.caption->setPalette(palette);
        }
        if (parts.error) {
            palette = parts.error->palette();
            palette.setColor(QPalette::WindowText, glass::danger());
            parts.error->setPalette(palette);
        }
    }
}

} // namespace hg
