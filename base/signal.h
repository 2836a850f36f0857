// Change announcements for observable objects.
//
// `Signal<Args...>` calls its connected slots in connection order. A slot may
// disconnect itself or others, or connect new slots, while the signal is being
// emitted: a slot disconnected during an emission is not called afterwards, and
// a slot connected during one is first called by the next emission.
//
// `ObservableObject` carries `objectWillChange`, emitted before any published
// property of the object changes, so that a view re-reads the object after the
// change. `Published<T>` is one such property: `set` announces the change on its
// owner, emits the new value to its own subscribers, then assigns.
//
//     class Preferences : public ObservableObject {
//         Published<bool> launchAtLogin{*this, false};
//     };
//     auto sub = prefs.launchAtLogin.changed.connect([](bool on) { ... });
//
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace hg {

// Disconnects when `disconnect()` is called; `ScopedConnection` also on destruction.
class Connection {
public:
    Connection() = default;
    Connection(std::weak_ptr<void> state, std::function<void()> disconnector)
        : m_state(std::move(state)), m_disconnector(std::move(disconnector)) {}

    void disconnect()
    {
        if (!m_state.expired() && m_disconnector)
            m_disconnector();
        m_disconnector = nullptr;
    }

private:
    std::weak_ptr<void> m_state;
    std::function<void()> m_disconnector;
};

class ScopedConnection {
public:
    ScopedConnection() = default;
    ScopedConnection(Connection c) : m_connection(std::move(c)) {} // NOLINT: implicit by design
    ScopedConnection(ScopedConnection&&) = default;
    ScopedConnection& operator=(ScopedConnection&& other) noexcept
    {
        if (this != &other) {
            m_connection.disconnect();
            m_connection = std::exchange(other.m_connection, {});
        }
        return *this;
    }
    ~ScopedConnection() { m_connection.disconnect(); }

private:
    Connection m_connection;
};

template <typename... Args>
class Signal {
public:
    using Slot = std::function<void(Args...)>;

    [[nodiscard]] Connection connect(Slot slot)
    {
        const std::uint64_t id = ++m_state->nextId;
        m_state->slots.push_back({id, std::make_shared<Slot>(std::move(slot))});
        std::weak_ptr<State> weak = m_state;
        return Connection(m_state, [weak, id] {
            if (auto state = weak.lock())
                std::erase_if(state->slots, [id](const Entry& e) { return e.id == id; });
        });
    }

    // A slot may also destroy the signal: the slots after it are then not called.
    void emit(Args... args) const
    {
        const std::weak_ptr<State> weak = m_state;
        const std::vector<Entry> snapshot = m_state->slots;
        for (const Entry& entry : snapshot) {
            const auto state = weak.lock();
            if (!state)
                return;
            if (!isConnected(*state, entry.id))
                continue;
            (*entry.slot)(args...);
        }
    }

    [[nodiscard]] std::size_t slotCount() const { return m_state->slots.size(); }

private:
    struct Entry {
        std::uint64_t id;
        std::shared_ptr<Slot> slot;
    };
    struct State {
        std::vector<Entry> slots;
        std::uint64_t nextId = 0;
    };

    static bool isConnected(const State& state, std::uint64_t id)
    {
        for (const Entry& e : state.slots)
            if (e.id == id)
                return true;
        return false;
    }

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

class ObservableObject {
public:
    ObservableObject() = default;
    ObservableObject(const ObservableObject&) = delete;
    ObservableObject& operator=(const ObservableObject&) = delete;
    virtual ~ObservableObject() = default;

    // Emitted before any published value of this object changes.
    Signal<> objectWillChange;
};

template <typename T>
class Published {
public:
    Published(ObservableObject& owner, T initial) : m_owner(owner), m_value(std::move(initial)) {}

    [[nodiscard]] const T& get() const { return m_value; }
    operator const T&() const { return m_value; } // NOLINT: reads like the value

    // Announces on the owner, tells subscribers the new value, then assigns.
    // Every assignment does this, equal value or not.
    void set(T value)
    {
        m_owner.objectWillChange.emit();
        changed.emit(value);
        m_value = std::move(value);
    }

    // The new value, on every assignment, before it is stored.
    Signal<const T&> changed;

private:
    ObservableObject& m_owner;
    T m_value;
};

} // namespace hg
