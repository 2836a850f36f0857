// Search in the settings window, and the window-local keyboard shortcuts.
//
// `matchesSearch` decides whether a section's keyword text matches what the
// user typed into the sidebar's search field. `catchKey` decides what a key
// press in the settings window means: Escape, Ctrl+1…Ctrl+9, Ctrl+K, or
// nothing (the press goes on to the focused control).
//
// Plain functions; no thread rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hg {

// True when every whitespace-separated piece of `query` occurs, lower-cased, as
// a substring of the lower-cased `haystack`. An empty or blank query matches
// everything. Lower-casing touches ASCII letters only; Chinese text has no case.
[[nodiscard]] bool matchesSearch(std::string_view haystack, std::string_view query);

// A key press in the settings window, as far as its shortcuts care.
struct WindowKeyPress {
    bool escape = false;
    bool control = false;  // Ctrl held (the window's shortcut modifier on Linux)
    // The key's text without modifiers: "3", "k".
    std::string charactersIgnoringModifiers;
};

struct CaughtKey {
    enum class Kind { escape, tab, search };
    Kind kind;
    int tabPosition = 0;  // zero-based, for `tab`; may lie beyond the visible tabs
};

// nullopt: not a window shortcut, the press goes on. Ctrl with 1…9 selects the
// tab at that position (the caller ignores positions beyond its tabs);
// Ctrl+K, upper or lower case, focuses the search field.
[[nodiscard]] std::optional<CaughtKey> catchKey(const WindowKeyPress& press);

// The window's own shortcuts as the keycaps show them.
[[nodiscard]] std::string searchKeyCapText();               // "Ctrl+K"
[[nodiscard]] std::string tabKeyCapText(int oneBasedPosition);  // "Ctrl+1"

} // namespace hg
