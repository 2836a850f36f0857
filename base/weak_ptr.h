// Weak handles to main-thread objects that are not owned by a shared_ptr.
//
// The owner keeps a `WeakPtrFactory<T>` as its last member; callbacks, timers
// and tasks capture `WeakPtr<T>` and check it before touching the owner:
//
//     queue.postDelayed(300ms, [weak = m_weak.get()] {
//         if (auto* self = weak.get()) self->handleDisplayChange();
//     });
//
// A WeakPtr may be copied to other threads but dereferenced only on the thread
// that destroys its owner (the main thread), like Chromium's WeakPtr.
#pragma once

#include <memory>

namespace hg {

template <typename T>
class WeakPtr {
public:
    WeakPtr() = default;
    WeakPtr(std::weak_ptr<const bool> alive, T* object) : m_alive(std::move(alive)), m_object(object) {}

    // The object, or nullptr once it is gone.
    [[nodiscard]] T* get() const { return m_alive.expired() ? nullptr : m_object; }
    explicit operator bool() const { return get() != nullptr; }

private:
    std::weak_ptr<const bool> m_alive;
    T* m_object = nullptr;
};

template <typename T>
class WeakPtrFactory {
public:
    explicit WeakPtrFactory(T* owner) : m_owner(owner) {}
    WeakPtrFactory(const WeakPtrFactory&) = delete;
    WeakPtrFactory& operator=(const WeakPtrFactory&) = delete;

    [[nodiscard]] WeakPtr<T> get() const { return {m_alive, m_owner}; }
    // Every WeakPtr handed out so far goes null; new ones work.
    void invalidate() { m_alive = std::make_shared<const bool>(true); }

private:
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
    T* m_owner;
};

} // namespace hg
