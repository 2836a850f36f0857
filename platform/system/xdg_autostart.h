// The login item of a Linux desktop session: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/hushglass.desktop (~/.config when XDG_CONFIG_HOME
// is unset or not absolute), whose Exec is the installed program's absolute path.
//
// Registered = the entry exists and does not say Hidden=true (the desktop's
// way of switching an autostart entry off); desktops have no "awaiting
// approval", so that status never occurs. The program counts as installed when
// its executable sits in <prefix>/bin and <prefix>/share/applications/
// hushglass.desktop exists; a copy run from a build folder registers nothing.
//
// The entry is written atomically (a temporary file renamed over the old one).
// An entry that is present and enabled is left as it is, even when the user
// edited it by hand. Main thread only.
#pragma once

#include <QString>

#include "system/login_item.h"

namespace hg {

class XdgAutostartLoginItem final : public LoginItemService {
public:
    // `executable` is the running program's absolute path; `configHome` the
    // XDG config folder.
    explicit XdgAutostartLoginItem(QString executable = runningExecutable(), QString configHome = standardConfigHome());

    [[nodiscard]] static QString runningExecutable();
    [[nodiscard]] static QString standardConfigHome();
    // The desktop entry's Exec value that starts `program` with no arguments.
    [[nodiscard]] static QString execValue(const QString& program);

    bool runsFromInstalledLocation() const override;
    Status status() const override;
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;

    [[nodiscard]] QString entryPath() const;

private:
    QString m_executable;
    QString m_configHome;
};

} // namespace hg
