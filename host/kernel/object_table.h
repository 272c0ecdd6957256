// A process-wide table of objects behind handle values (bitmaps, device contexts, brushes, image
// lists). Values start at a base of the kind's own, so a handle of one kind never finds another,
// stay below 2^32 as on the device, and are never reused within a process, so a stale handle
// finds nothing instead of a newer object.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace host {

template <class T>
class ObjectTable {
public:
    explicit ObjectTable(uintptr_t base, uintptr_t step = 4) : m_base(base), m_step(step) {}

    // The table's lock, for callers that work on an object while no other thread may drop it.
    std::mutex& Lock() { return m_lock; }

    uintptr_t Insert(std::unique_ptr<T> object) {
        std::lock_guard guard(m_lock);
        return InsertLocked(std::move(object));
    }
    uintptr_t InsertLocked(std::unique_ptr<T> object) {
        const uintptr_t value = m_base + m_next++ * m_step;
        m_live.emplace(value, std::move(object));
        return value;
    }

    T* Find(uintptr_t value) {
        std::lock_guard guard(m_lock);
        return FindLocked(value);
    }
    T* FindLocked(uintptr_t value) {
        auto it = m_live.find(value);
        return it == m_live.end() ? nullptr : it->second.get();
    }

    // Removes the object and hands it over (null for an unknown value).
    std::unique_ptr<T> Take(uintptr_t value) {
        std::lock_guard guard(m_lock);
        return TakeLocked(value);
    }
    std::unique_ptr<T> TakeLocked(uintptr_t value) {
        auto it = m_live.find(value);
        if (it == m_live.end()) return nullptr;
        std::unique_ptr<T> object = std::move(it->second);
        m_live.erase(it);
        return object;
    }

    template <class Visit>
    void ForEach(Visit visit) {
        std::lock_guard guard(m_lock);
        for (auto& [value, object] : m_live) visit(value, *object);
    }

private:
    std::mutex m_lock;
    std::unordered_map<uintptr_t, std::unique_ptr<T>> m_live;
    const uintptr_t m_base;
    const uintptr_t m_step;
    uintptr_t m_next = 1;
};

// The value of a handle of any kind, and back.
template <class Handle>
uintptr_t HandleValue(Handle handle) {
    return reinterpret_cast<uintptr_t>(handle);
}
template <class Handle>
Handle HandleOf(uintptr_t value) {
    return reinterpret_cast<Handle>(value);
}

}  // namespace host
