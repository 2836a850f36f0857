// The program's own notification centre: named notifications posted within the
// process ("I18n.languageDidChange", the updater's modal notifications, the
// platform's locale change). Observers are called synchronously, in the order
// they were added, on the thread that posts (the main thread).
//
//     NotificationToken t = center.addObserver("I18n.languageDidChange", [weak] { ... });
//     center.removeObserver(t);
//
// An observer removed while a notification is being delivered is not called
// afterwards; one added during a delivery first hears the next post.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace hg {

struct NotificationToken {
    std::uint64_t id = 0;
    [[nodiscard]] bool isValid() const { return id != 0; }
    friend bool operator==(const NotificationToken&, const NotificationToken&) = default;
};

class NotificationCenter {
public:
    using Observer = std::function<void()>;

    NotificationToken addObserver(std::string name, Observer observer);
    // Removing an unknown or already removed token does nothing.
    void removeObserver(NotificationToken token);
    void post(std::string_view name);

    [[nodiscard]] std::size_t observerCount(std::string_view name) const;

private:
    struct Entry {
        std::uint64_t id;
        std::string name;
        Observer observer;
    };
    [[nodiscard]] bool isRegistered(std::uint64_t id) const;

    std::vector<Entry> m_entries;
    std::uint64_t m_nextId = 0;
};

} // namespace hg
