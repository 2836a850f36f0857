// Names and icons of applications from their desktop entries
// (<id>.desktop in the XDG data directories' applications folders), for the
// excluded-apps list and the add menu. An identifier without an entry keeps
// its own text as name and has no icon. Results are cached for the run.
//
// Main thread only.
#pragma once

#include <QIcon>
#include <string>

namespace hg {

struct DesktopEntryInfo {
    std::string name;      // the identifier itself when no entry names it
    std::string iconName;  // theme name or absolute path; empty when none
};

// Case-insensitive on the identifier (stored identifiers are lower-cased).
[[nodiscard]] const DesktopEntryInfo& desktopEntry(const std::string& applicationID);
// The icon for an entry's icon name; null when it cannot be found.
[[nodiscard]] QIcon desktopIcon(const std::string& iconName);

} // namespace hg
