// The Shortcuts and About screens.
#include <algorithm>
#include <cctype>

#include "ui/settings/relative_date.h"
#include "ui/settings/settings_screens.h"
#include "ui/settings/settings_screens_internal.h"

namespace hg::screens {

bool caseInsensitiveLess(std::string_view a, std::string_view b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

namespace {

std::string_view actionIcon(HotkeyAction action)
{
    switch (action) {
    case HotkeyAction::toggleBlur: return "eye.slash";
    case HotkeyAction::openSettings: return "gearshape";
    case HotkeyAction::toggleCursorReveal: return "cursorarrow";
    case HotkeyAction::cycleBlurStrength: return "aqi.medium";
    case HotkeyAction::togglePauseFullScreen: return "rectangle.inset.filled";
    }
    return "keyboard";
}

SettingsRowModel updateRow(const SettingsState& s, const I18n& i18n)
{
    const Texts t{i18n};
    SettingsRowModel r = row(t, "updates.check", "arrow.down.circle", "检查更新", "");
    r.control = ControlKind::button;
    r.buttonTitle = t("检查更新…");
    r.buttonIcon = "arrow.down.circle";
    using Kind = UpdaterController::Status::Kind;
    switch (s.updateStatus.kind()) {
    case Kind::updateAvailable:
        r.subtitle = t("发现新版本，可在弹出的窗口中下载并安装。");
        r.buttonTitle = t("下载并安装");
        r.control = ControlKind::primaryButton;
        break;
    case Kind::error: r.subtitle = s.updateStatus.text(); break;
    case Kind::checking:
        r.subtitle = t("正在检查更新…");
        r.buttonTitle = t("正在检查…");
        r.enabled = false;
        break;
    case Kind::upToDate: r.subtitle = t("已是最新版本。"); break;
    case Kind::idle:
        if (!s.automaticallyChecksForUpdates)
            r.subtitle = t("点按右侧按钮检查是否有新版本。");
        else if (s.lastUpdateCheckDate)
            r.subtitle = i18n.translate(
                "上次检查：%@", {relativeDateText(*s.lastUpdateCheckDate, s.now, i18n.effectiveLanguage())});
        else
            r.subtitle = t("尚未检查过。");
        break;
    }
    return r;
}

struct ImplementationRow {
    const char* icon;
    std::string_view title;
    std::string_view subtitle;
};

} // namespace

SettingsScreenModel shortcutsScreen(const SettingsState& s, const I18n& i18n)
{
    const Texts t{i18n};
    SettingsScreenModel screen{SettingsTab::shortcuts, true, t("快捷键"),
                               t("为常用操作绑定全局快捷键，即使Hushglass不在前台也能一键触发。"), {}};
    SettingsSectionModel section{"shortcuts", t("全局快捷键"),
                                 "快捷键 热键 全局 绑定 快捷 组合 key shortcut global hotkey 开关 模糊 设置 鼠标 菜单",
                                 {}, {}, {}, {}};
    for (HotkeyAction action : kHotkeyActions) {
        SettingsRowModel r = row(t, "shortcut." + std::to_string(rawValue(action)), std::string(actionIcon(action)),
                                 title(action), subtitle(action));
        r.control = ControlKind::recorder;
        r.recording = s.recordingAction == action;
        if (r.recording) {
            r.buttonTitle = t("请按下快捷键…");
            r.help = t(text::recorderHelp);
            r.errorText = s.captureError.value_or("");
        } else {
            const auto assigned = s.shortcutTexts.find(action);
            r.buttonTitle = assigned != s.shortcutTexts.end() ? assigned->second : t("未设置");
            r.help = t("点击录制新的快捷键");
        }
        section.rows.push_back(r);
    }
    section.calloutBelow = CalloutModel{
        "globe", Tint::accent, t("全局生效"),
        t("快捷键在Hushglass运行时常驻生效，无需打开此窗口。若与系统或其它应用的快捷键冲突，以最后注册者为准。")};
    screen.sections.push_back(section);
    return screen;
}

SettingsScreenModel aboutScreen(const SettingsState& s, const I18n& i18n)
{
    const Texts t{i18n};
    SettingsScreenModel screen{SettingsTab::about, true, t("关于"), t("版本、实现方式与权限。"), {}};

    const std::string version = s.version.empty() ? "—" : s.version;
    const std::string build = s.build.empty() ? "—" : s.build;
    SettingsSectionModel identity{"identity", "", "版本 version 关于 about 图标", {}, {}, {}, {}};
    identity.identity = IdentityCardModel{t("Hushglass"), t("让焦点窗口清晰，让其余世界隐去。"),
                                          i18n.translate("版本 %@（%@）", {version, build}), s.effectEnabled};
    screen.sections.push_back(identity);

    SettingsSectionModel updates{"updates", t("更新"), "更新 升级 版本 检查 安装 下载 update upgrade", {}, {}, {}, {}};
    updates.rows.push_back(toggleRow(t, "updates.automatic", "clock.arrow.2.circlepath", "自动检查更新",
                                     "开启后每天自动检查一次；发现新版本只提示，不会替你安装。",
                                     s.automaticallyChecksForUpdates));
    updates.rows.push_back(updateRow(s, i18n));
    screen.sections.push_back(updates);

    SettingsRowModel capture = row(t, "permission.capture", "hand.raised", text::captureTitle, text::captureSubtitle);
    if (s.captureGranted) {
        capture.control = ControlKind::statusText;
        capture.detail = t("已授权");
    } else {
        capture.control = ControlKind::button;
        capture.buttonTitle = t(text::captureHelpButton);
        capture.buttonIcon = "gearshape";
    }
    screen.sections.push_back(
        {"permission", t("权限"), "权限 屏幕录制 辅助功能 privacy permission", {}, {capture}, {}, {}});

    static constexpr ImplementationRow kImplementation[] = {
        {"macwindow", "找焦点窗口", "每帧向窗口服务器查询一次当前该看的那个窗口，按层级与所属 app 挑选。"},
        {"camera.viewfinder", "截图并降采样", text::captureStep},
        {"circle.and.line.horizontal", "高斯模糊 + 补色", "模糊后把洞口补上，避免桌面的亮色从边缘渗出去。"},
        {"square.on.circle", "挖洞并提交", "图片与掩膜在同一个事务里提交，所以洞永远和背景是同一帧。"},
    };
    SettingsSectionModel how{"howItWorks", t("实现方式"), "实现 原理 技术 screencapturekit 截图 模糊 how it works",
                             {}, {}, {}, {}};
    for (const ImplementationRow& step : kImplementation) {
        SettingsRowModel r = row(t, std::string("how.") + step.icon, step.icon, step.title, step.subtitle);
        r.iconTint = Tint::neutral;
        how.rows.push_back(r);
    }
    screen.sections.push_back(how);
    return screen;
}

} // namespace hg::screens
