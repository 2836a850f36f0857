#include "ui/i18n/translation_table.h"

namespace hg {
namespace {

// Chinese key, English text. Keys are unique (a test checks it). Texts that
// name the desktop's own facilities describe the Linux/X11 ones.
constexpr TranslationRow kRows[] = {
#include "ui/i18n/translation_table.inc"
};

} // namespace

std::span<const TranslationRow> translationTable()
{
    return kRows;
}

} // namespace hg
