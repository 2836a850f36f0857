// Helpers shared by the screen builders; not for the views.
#pragma once

#include <string>
#include <string_view>

#include "ui/settings/settings_screens.h"

namespace hg::screens {

// Texts that the Linux build words differently from the table's original
// wording (keys, hints and platform facilities); each has its row in the table.
namespace text {
inline constexpr std::string_view searchSubtitle = "全部设置中匹配「%@」的结果。按 Esc 清除。";
inline constexpr std::string_view loginSubtitle = "登录桌面后自动在后台运行，隐私保护不中断。";
inline constexpr std::string_view notInstalledTitle = "未从安装位置运行";
inline constexpr std::string_view notInstalledMessage = "当前不是从安装位置启动，自启设置会在你安装后从应用菜单打开时自动生效。";
inline constexpr std::string_view fallbackSubtitle = "屏幕捕获不可用，模糊由系统合成，强度只能近似。可用后自动恢复精确半径。";
inline constexpr std::string_view approximatedRadius = "当前按系统材质分档近似，无法逐点控制。";
inline constexpr std::string_view hideBlurLayerTitle = "对其他程序的截图隐藏模糊层";
inline constexpr std::string_view hideBlurLayerSubtitle =
    "X11 无法让窗口躲开其他程序的截图、录屏与屏幕共享，它们会拍到模糊层。Hushglass 自己截图时总会略过模糊层，所以模糊不会拍到自己。此开关在 X11 上不起作用。";
inline constexpr std::string_view recorderHelp = "Backspace 清除 · Esc 取消";
inline constexpr std::string_view modifierHint = "请同时按下修饰键（Ctrl、Alt、Shift、Super）或使用功能键。";
inline constexpr std::string_view captureTitle = "屏幕捕获";
inline constexpr std::string_view captureSubtitle =
    "模糊由截图得来，这是唯一需要的能力。不可用时改用系统合成模糊，强度只能近似。屏幕捕获需要 X11 会话（不支持 Wayland），以及 X 服务器的 Composite、Render 与 MIT-SHM 扩展。";
inline constexpr std::string_view captureHelpButton = "打开屏幕捕获说明";
inline constexpr std::string_view captureStep = "X11 Composite 扩展按窗口 ID 排除焦点窗口，最多降到原像素的 1/4。";
} // namespace text

// Translates through the interface language.
struct Texts {
    const I18n& i18n;
    std::string operator()(std::string_view chinese) const { return i18n.translate(chinese); }
};

[[nodiscard]] std::string roundedPoints(double points);
[[nodiscard]] SettingsRowModel row(const Texts& t, std::string id, std::string icon, std::string_view title,
                                   std::string_view subtitle);
[[nodiscard]] SettingsRowModel toggleRow(const Texts& t, std::string id, std::string icon, std::string_view title,
                                         std::string_view subtitle, bool on);
// ASCII case folded; other bytes compare as they are.
[[nodiscard]] bool caseInsensitiveLess(std::string_view a, std::string_view b);

[[nodiscard]] SettingsScreenModel shortcutsScreen(const SettingsState& s, const I18n& i18n);
[[nodiscard]] SettingsScreenModel aboutScreen(const SettingsState& s, const I18n& i18n);

} // namespace hg::screens
