// The English wording of every Chinese interface text, fixed at build time.
#pragma once

#include <span>
#include <string_view>

namespace hg {

struct TranslationRow {
    std::string_view chinese;
    std::string_view english;
};

[[nodiscard]] std::span<const TranslationRow> translationTable();

} // namespace hg
