#include "base/notification_center.h"

#include <algorithm>

namespace hg {

NotificationToken NotificationCenter::addObserver(std::string name, Observer observer)
{
    const std::uint64_t id = ++m_nextId;
    m_entries.push_back({id, std::move(name), std::move(observer)});
    return {id};
}

void NotificationCenter::removeObserver(NotificationToken token)
{
    std::erase_if(m_entries, [&](const Entry& e) { return e.id == token.id; });
}

void NotificationCenter::post(std::string_view name)
{
    std::vector<std::pair<std::uint64_t, Observer>> targets;
    for (const Entry& e : m_entries)
        if (e.name == name)
            targets.emplace_back(e.id, e.observer);
    for (auto& [id, observer] : targets)
        if (isRegistered(id))
            observer();
}

std::size_t NotificationCenter::observerCount(std::string_view name) const
{
    return static_cast<std::size_t>(
        std::count_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.name == name; }));
}

bool NotificationCenter::isRegistered(std::uint64_t id) const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.id == id; });
}

} // namespace hg
