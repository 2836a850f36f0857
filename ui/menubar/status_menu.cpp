#include "ui/menubar/status_menu.h"

namespace hg {

MenuItemPtr MenuItem::separator()
{
    auto item = std::make_shared<MenuItem>();
    item->m_separator = true;
    return item;
}

MenuItemPtr MenuItem::make(std::string title, std::optional<StatusMenuAction> action)
{
    auto item = std::make_shared<MenuItem>();
    item->m_title = std::move(title);
    item->m_action = action;
    return item;
}

void MenuItem::setTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title = std::move(title);
    changed.emit();
}

void MenuItem::setChecked(bool checked)
{
    if (checked == m_checked)
        return;
    m_checked = checked;
    changed.emit();
}

void MenuItem::activate()
{
    if (onActivate)
        onActivate(*this);
}

} // namespace hg
