// A table that hands out opaque handles for objects owned by the platform library.
//
// Handle values come from one counter shared by every table and are never reused, so a handle that was
// freed, or that belongs to another kind of object, is simply not found. The tables may be used from any
// thread; the caller of Find must not use the object after another thread frees it, as with Win32.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform {

// The next handle value; starts well above small integers so a handle never looks like a count.
inline std::uintptr_t NextHandleValue() {
    static std::atomic<std::uintptr_t> next{0x10000};
    return next.fetch_add(8);
}

template <class Object> class THandleTable {
public:
    template <class Handle> Handle Add(std::unique_ptr<Object> object) {
        const std::uintptr_t value = NextHandleValue();
        std::lock_guard lock(mutex_);
        objects_.emplace(value, std::move(object));
        return reinterpret_cast<Handle>(value);
    }

    // The object behind a handle, or nullptr for an unknown handle.
    template <class Handle> Object* Find(Handle handle) {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == objects_.end() ? nullptr : it->second.get();
    }

    // Takes the object out of the table; the handle is dead from now on.
    template <class Handle> std::unique_ptr<Object> Remove(Handle handle) {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == objects_.end())
            return nullptr;
        std::unique_ptr<Object> object = std::move(it->second);
        objects_.erase(it);
        return object;
    }

    // Runs f(object) with the table locked, so another thread cannot free the object meanwhile.
    template <class Handle, class F> bool WithLocked(Handle handle, F&& f) {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == objects_.end())
            return false;
        f(*it->second);
        return true;
    }

private:
    std::mutex mutex_;
    std::unordered_map<std::uintptr_t, std::unique_ptr<Object>> objects_;
};

} // namespace platform
