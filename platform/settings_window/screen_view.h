// One settings screen drawn from its model (`SettingsScreenModel`): section
// labels, panels of rows, callouts, and each row's control. `apply` updates
// the widgets in place while the screen keeps the same rows (so a slider being
// dragged survives the refresh its own change causes) and rebuilds them when
// rows come or go.
//
// Owned by the root view; main thread only.
#pragma once

#include <QIcon>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "platform/settings_window/glass_panels.h"
#include "platform/settings_window/tint_color_picker.h"
#include "ui/settings/settings_actions.h"
#include "ui/settings/settings_screens.h"

class QMenu;
class QVBoxLayout;

namespace hg {

// What a screen needs from the window around it.
struct ScreenViewHost {
    SettingsActions& actions;
    const I18n& i18n;
    std::function<void()> toggleTintPicker;
    // Running applications that may be excluded: bundle id and name.
    std::function<std::vector<std::pair<std::string, std::string>>()> addCandidates;
    // A desktop icon by name; null when there is none.
    std::function<QIcon(const std::string&)> desktopIcon;
};

class ScreenView final : public QWidget {
    Q_OBJECT
public:
    ScreenView(ScreenViewHost& host, QWidget* parent = nullptr);
    void apply(const SettingsScreenModel& model, const glass::Scheme& scheme);
    // The next `apply` rebuilds every widget (after a language change).
    void invalidate() { m_signature.clear(); }
    // The row widget by row id, for tests.
    [[nodiscard]] SettingsRow* row(const std::string& id) const;

private:
    struct RowParts {
        SettingsRow* row = nullptr;
        QWidget* control = nullptr;
        QLabel* detail = nullptr;
        QLabel* caption = nullptr;
        QLabel* error = nullptr;
        GlassSlider* slider = nullptr;
        TintColorPicker* tintPicker = nullptr;
    };

    void rebuild(const SettingsScreenModel& model);
    QWidget* buildSection(const SettingsSectionModel& section);
    QWidget* buildIdentity(const IdentityCardModel& card);
    RowParts buildRow(const SettingsRowModel& model, bool isFirst);
    void updateRow(RowParts& parts, const SettingsRowModel& model);
    void applyScheme(const glass::Scheme& scheme);
    [[nodiscard]] static std::string signature(const SettingsScreenModel& model);

    ScreenViewHost& m_host;
    QVBoxLayout* m_layout;
    PageHeader* m_header = nullptr;
    QWidget* m_body = nullptr;
    std::string m_signature;
    std::map<std::string, RowParts> m_rows;
    QWidget* m_identityCard = nullptr;  // About's card, when shown
    glass::Scheme m_scheme;
};

// The program's icon: a rounded accent square with the eye symbol.
[[nodiscard]] QPixmap appIconPixmap(int size, qreal devicePixelRatio);

} // namespace hg
