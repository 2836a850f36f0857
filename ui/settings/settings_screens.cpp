// The General, Appearance and Behavior screens, the search header and the
// sidebar. The Shortcuts and About screens are in settings_screens_more.cpp.
#include "ui/settings/settings_screens.h"

#include <algorithm>
#include <cmath>

#include "ui/settings/settings_screens_internal.h"
#include "ui/settings/settings_search.h"

namespace hg {
namespace screens {

std::string roundedPoints(double points) { return std::to_string(std::lround(points)) + " pt"; }

SettingsRowModel row(const Texts& t, std::string id, std::string icon, std::string_view title,
                     std::string_view subtitle)
{
    SettingsRowModel r;
    r.id = std::move(id);
    r.icon = std::move(icon);
    r.title = t(title);
    r.subtitle = t(subtitle);
    return r;
}

SettingsRowModel toggleRow(const Texts& t, std::string id, std::string icon, std::string_view title,
                           std::string_view subtitle, bool on)
{
    SettingsRowModel r = row(t, std::move(id), std::move(icon), title, subtitle);
    r.control = ControlKind::toggle;
    r.on = on;
    return r;
}

} // namespace screens

using namespace screens;

std::string_view radiusWord(double points)
{
    if (points < 14)
        return "轻度";
    if (points < 26)
        return "中度";
    if (points < 40)
        return "强度";
    return "极强";
}

std::string settingsWindowTitle(const I18n& i18n) { return i18n.translate("Hushglass设置"); }

std::pair<std::string, std::string> searchHeader(const I18n& i18n, std::string_view search)
{
    return {i18n.translate("搜索…"), i18n.translate(text::searchSubtitle, {std::string(search)})};
}

std::vector<SidebarTab> sidebarTabs(const I18n& i18n)
{
    std::vector<SidebarTab> tabs;
    int position = 1;
    for (SettingsTab tab : kSettingsTabs)
        tabs.push_back({tab, i18n.translate(title(tab)), std::string(iconName(tab)), tabKeyCapText(position++)});
    return tabs;
}

namespace {

SettingsScreenModel general(const SettingsState& s, const I18n& i18n)
{
    const Texts t{i18n};
    SettingsScreenModel screen{SettingsTab::general, true, t("通用"),
                               t("效果的开关、菜单栏图标的行为，以及窗口配色与语言。"), {}};
    screen.sections.push_back({"effect", t("效果"), "效果 启用 停用 开关 enable disable blur", {},
                               {toggleRow(t, "effect.enabled", "eye.slash", "启用隐私模糊",
                                          "除当前焦点窗口与系统界面之外，屏幕上的其余部分全部模糊。",
                                          s.effectEnabled)},
                               {}, {}});

    SettingsRowModel click = row(t, "menuBar.click", "menubar.rectangle", "左键点击图标", "右键任何时候都打开菜单。");
    click.control = ControlKind::picker;
    for (MenuBarClickAction action : kMenuBarClickActions)
        click.choices.push_back(t(displayName(action)));
    click.selected = static_cast<int>(s.menuBarClickAction);
    screen.sections.push_back({"menuBar", t("菜单栏"), "菜单栏 图标 点击 menu bar icon click", {}, {click}, {}, {}});

    SettingsRowModel theme = row(t, "appearance.theme", "sun.max", "设置窗口配色", "仅影响这个窗口，不影响模糊效果。");
    theme.control = ControlKind::picker;
    for (AppearancePreference preference : kAppearancePreferences)
        theme.choices.push_back(t(displayName(preference)));
    theme.selected = static_cast<int>(s.colorScheme);
    screen.sections.push_back(
        {"appearance", t("外观"), "外观 配色 浅色 深色 主题 appearance theme dark light", {}, {theme}, {}, {}});

    SettingsRowModel language = row(t, "language", "globe", "语言", "设置界面与菜单显示的语言。");
    language.control = ControlKind::picker;
    for (AppLanguage choice : kAppLanguages)
        language.choices.push_back(i18n.displayName(choice));
    language.selected = static_cast<int>(s.language);
    screen.sections.push_back(
        {"language", t("语言"), "语言 language 界面 显示 英文 中文 切换", {}, {language}, {}, {}});

    SettingsRowModel login = toggleRow(t, "login.launchAtLogin", "power", "登录时启动", text::loginSubtitle,
                                       s.launchAtLogin);
    if (!s.runsFromInstalledLocation)
        login.calloutBelow = CalloutModel{"exclamationmark.triangle", Tint::warning, t(text::notInstalledTitle),
                                          t(text::notInstalledMessage)};
    screen.sections.push_back(
        {"login", t("登录项"), "登录 开机 自启 启动 后台 login startup boot launch 自动", {}, {login}, {}, {}});
    return screen;
}

SettingsScreenModel appearance(const SettingsState& s, const I18n& i18n)
{
    const Texts t{i18n};
    SettingsScreenModel screen{SettingsTab::appearance, true, t("外观"), t("模糊的强度，以及鼠标周围那块清晰区域。"), {}};

    const bool approximated = s.effectEnabled && s.usesVibrancy && s.blurEnabled;
    SettingsSectionModel blur{"blur", t("高斯模糊"), "模糊 强度 radius 半径 blur strength", {}, {}, {}, {}};
    if (approximated)
        blur.rows.push_back(row(t, "blur.fallback", "cpu", "降级模式", text::fallbackSubtitle));
    blur.rows.push_back(toggleRow(t, "blur.enabled", "aqi.medium", "高斯模糊",
                                  "关闭后不再做高斯模糊；颜色覆盖仍可单独生效。", s.blurEnabled));
    SettingsRowModel radius = row(t, "blur.radius", "drop", "模糊半径",
                                  approximated ? text::approximatedRadius : "越大越糊，也越费一帧的算力。");
    radius.detail = roundedPoints(s.blurRadius);
    radius.detailCaption = t(radiusWord(s.blurRadius));
    radius.control = ControlKind::slider;
    radius.value = s.blurRadius;
    radius.range = {5, 60, 1};
    radius.accessibleLabel = t("模糊半径");
    radius.enabled = s.blurEnabled;
    blur.rows.push_back(radius);
    screen.sections.push_back(blur);

    SettingsSectionModel color{"color", t("模糊颜色"),
                               "模糊 颜色 调色 tint 背景色 背景 颜色 color background 着色 色温", {}, {}, {}, {}};
    SettingsRowModel swatch = row(t, "color.tint", "paintpalette", "模糊颜色",
                                  "给模糊背景叠加一层颜色。强度为 0 时保持原样（默认白色）。");
    swatch.control = ControlKind::swatch;
    swatch.swatchColor = s.tintColor;
    swatch.expanded = s.showTintPicker;
    swatch.accessibleLabel = t("模糊颜色");
    color.rows.push_back(swatch);
    SettingsRowModel amount = row(t, "color.amount", "slider.horizontal.3", "颜色强度",
                                  "颜色覆盖背景的比例：0 为关闭，1 为纯色填充。");
    amount.detail = std::to_string(std::lround(s.tintAmount * 100)) + "%";
    amount.control = ControlKind::slider;
    amount.value = s.tintAmount;
    amount.range = {0, 1, 0.05};
    amount.accessibleLabel = t("模糊颜色强度");
    color.rows.push_back(amount);
    screen.sections.push_back(color);

    SettingsSectionModel cursor{"cursor", t("鼠标周围"), "鼠标 光标 圆盘 清晰 cursor halo reveal 指针", {}, {}, {}, {}};
    cursor.rows.push_back(toggleRow(t, "cursor.reveal", "cursorarrow", "鼠标周围保持清晰",
                                    "在模糊背景上以指针为圆心留一块清晰的圆盘。", s.revealCursor));
    if (s.revealCursor) {
        SettingsRowModel revealRadius = row(t, "cursor.radius", "circle.dashed", "清晰范围", "圆盘的半径。");
        revealRadius.detail = roundedPoints(s.cursorRevealRadius);
        revealRadius.control = ControlKind::slider;
        revealRadius.value = s.cursorRevealRadius;
        revealRadius.range = {20, 400, 10};
        revealRadius.accessibleLabel = t("鼠标清晰范围");
        cursor.rows.push_back(revealRadius);
    }
    screen.sections.push_back(cursor);
    return screen;
}

struct PowerRow {
    const char* icon;
    const char* title;
    const char* subtitle;
    const char* detail;
};
constexpr PowerRow kPowerRows[] = {
    {"hare", "有窗口在动", "截图与窗口查询全速运行，跟手优先。", "~8ms"},
    {"tortoise", "桌面静止约 0.75 秒", "截图降到 ~30fps，窗口查询降到一半。", "~33ms"},
    {"moon.zzz", "长时间完全静止（约 15 秒）", "截图降到 ~4fps；鼠标不动时也不重建掩膜。", "~250ms"},
    {"display", "没有洞的副屏", "整屏模糊，看不出帧率差别。", "~15fps"},
    {"pause", "没有可聚焦的窗口", "覆盖层清空，截图循环完全停止。", "停止"},
};

SettingsSectionModel excludedApps(const SettingsState& s, const Texts& t)
{
    SettingsSectionModel section{"excludedApps", t("排除应用"), "排除 应用 排除应用 信任 白名单 前台 暂停 exclude app",
                                 {}, {}, {}, {}};
    if (s.excludedApps.empty()) {
        section.rows.push_back(row(t, "excludedApps.empty", "tray", "还没有排除任何应用",
                                   "加入排除列表的应用，它的窗口始终保持清晰 —— 不管它是不是当前焦点。焦点窗口照常清晰，其余区域照常模糊。"));
    } else {
        section.calloutAbove = CalloutModel{
            "eye", Tint::accent, t("这些应用的窗口始终清晰"),
            t("不管焦点在哪，它们的窗口都不会被模糊。切换到别的应用时，两边都是清晰的 —— 只有其余区域保持模糊。唯一例外是本应用的设置窗口在最前时：那时只有设置窗口和这些窗口是清晰的。")};
        std::vector<ExcludedAppInfo> apps = s.excludedApps;
        std::stable_sort(apps.begin(), apps.end(), [](const ExcludedAppInfo& a, const ExcludedAppInfo& b) {
            return caseInsensitiveLess(a.name, b.name);
        });
        for (const ExcludedAppInfo& app : apps) {
            SettingsRowModel r;
            r.id = "excludedApp." + app.bundleID;
            r.icon = "app.dashed";
            r.appIconName = app.iconName;
            r.title = app.name;
            r.subtitle = app.bundleID;
            r.control = ControlKind::removeButton;
            r.buttonIcon = "minus.circle.fill";
            r.help = t("移出排除列表");
            section.rows.push_back(r);
        }
    }
    SettingsRowModel add = row(t, "excludedApps.add", "plus", "添加应用",
                               s.hasAddCandidates ? "从正在运行的应用中选择。" : "没有正在运行的常规应用可添加。");
    add.control = ControlKind::addMenu;
    add.buttonTitle = t("添加");
    add.buttonIcon = "plus";
    section.rows.push_back(add);
    return section;
}

SettingsSectionModel excludedDisplays(const SettingsState& s, const Texts& t)
{
    SettingsSectionModel section{"excludedDisplays", t("排除屏幕"),
                                 "排除 屏幕 显示器 display 副屏 多屏 monitor 清晰 exclude 整屏", {}, {}, {}, {}};
    if (s.detectedScreens.size() <= 1) {
        section.rows.push_back(row(t, "excludedDisplays.none", "display", "未检测到其他显示器",
                                   "连接更多屏幕后，可在此把某一块屏幕排除在模糊之外，使其始终清晰。"));
        return section;
    }
    int position = 1;
    for (const DetectedScreen& screen : s.detectedScreens) {
        SettingsRowModel r;
        r.id = "display." + screen.displayID;
        r.icon = "display";
        r.title = t("显示器") + " " + std::to_string(position++) + " · " + screen.name;
        r.subtitle = std::to_string(screen.width) + "×" + std::to_string(screen.height);
        r.control = ControlKind::toggle;
        r.on = s.excludedDisplayIDs.contains(screen.displayID);
        section.rows.push_back(r);
    }
    return section;
}

SettingsScreenModel behavior(const SettingsState& s, const I18n& i18n)
{
    const Texts t{i18n};
    SettingsScreenModel screen{SettingsTab::behavior, true, t("行为"), t("什么时候让位，以及让位给谁。"), {}};
    screen.sections.push_back(excludedApps(s, t));
    screen.sections.push_back(excludedDisplays(s, t));
    screen.sections.push_back({"fullScreen", t("全屏停止"), "全屏 停止 暂停 full screen pause 视频", {},
                               {toggleRow(t, "fullScreen.pause", "rectangle.inset.filled", "全屏时停止模糊",
                                          "窗口铺满整块屏幕时，屏幕上已经没有需要藏起来的东西 —— 既省电，也不会挡住全屏视频。",
                                          s.pauseForFullScreenApps)},
                               {}, {}});
    // X11 cannot keep a window out of other programs' captures: the switch
    // stays off and disabled, the stored setting is kept for other platforms.
    SettingsRowModel capture = toggleRow(t, "capture.hideBlurLayer", "eye.slash", text::hideBlurLayerTitle,
                                         text::hideBlurLayerSubtitle, false);
    capture.enabled = false;
    screen.sections.push_back({"captures", t("模糊层与截图"),
                               "截图 录屏 屏幕共享 模糊层 捕获 capture screenshot recording 重影 反馈 自己拍到", {},
                               {capture}, {}, {}});
    SettingsSectionModel power{"power", t("省电"), "", {}, {}, {}, {}};
    power.searchable = false;
    for (const PowerRow& p : kPowerRows) {
        SettingsRowModel r = row(t, std::string("power.") + p.icon, p.icon, p.title, p.subtitle);
        r.iconTint = Tint::neutral;
        r.detail = t(p.detail);
        power.rows.push_back(r);
    }
    screen.sections.push_back(power);
    return screen;
}

} // namespace

SettingsScreenModel buildScreen(SettingsTab tab, const SettingsState& state, const I18n& i18n, std::string_view search)
{
    SettingsScreenModel screen;
    switch (tab) {
    case SettingsTab::general: screen = general(state, i18n); break;
    case SettingsTab::appearance: screen = appearance(state, i18n); break;
    case SettingsTab::behavior: screen = behavior(state, i18n); break;
    case SettingsTab::shortcuts: screen = shortcutsScreen(state, i18n); break;
    case SettingsTab::about: screen = aboutScreen(state, i18n); break;
    }
    if (search.empty())
        return screen;
    screen.showsHeader = false;
    std::erase_if(screen.sections, [search](const SettingsSectionModel& section) {
        // The power-saving table has no keywords and never shows in results.
        return !section.searchable || !matchesSearch(section.keywords, search);
    });
    return screen;
}

} // namespace hg
