// The stored form of the shortcut table: one JSON object whose member names
// are action raw values written in decimal and whose members are
// {"keyCode": number, "carbonModifiers": number, "label": string}.
//
//     {"0":{"keyCode":11,"carbonModifiers":2304,"label":"B"}}
//
// Plain functions; no thread rules.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "ui/shortcuts/hotkey_combo.h"

namespace hg {

using HotkeyAssignments = std::map<std::int64_t, HotkeyCombo>;

[[nodiscard]] std::string encodeHotkeyAssignments(const HotkeyAssignments& assignments);
// nullopt for anything that is not exactly such an object: malformed JSON, a
// member name that is not a decimal integer, a missing field, a key code or
// modifier mask that is not a whole number from 0 to 2^32 - 1, a label that is
// not a string. Unknown members of a combination are ignored.
[[nodiscard]] std::optional<HotkeyAssignments> decodeHotkeyAssignments(std::string_view json);

} // namespace hg
