#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace w32n55 {

// 32-bit handles for objects of one kind. A handle is never -1 (no handle)
// and is not given out again while its object is open, so a stale handle
// finds nothing rather than another caller's object. Callers may use the
// table from several threads.
template <typename T> class HandleTable {
public:
    static constexpr std::int32_t kNone = -1;

    std::int32_t Add(std::shared_ptr<T> item) {
        const std::lock_guard lock(mutex_);
        while (items_.contains(next_)) {
            Advance();
        }
        const std::int32_t handle = next_;
        items_.emplace(handle, std::move(item));
        Advance();
        return handle;
    }

    std::shared_ptr<T> Find(std::int32_t handle) const {
        const std::lock_guard lock(mutex_);
        const auto found = items_.find(handle);
        return found != items_.end() ? found->second : nullptr;
    }

    std::shared_ptr<T> Remove(std::int32_t handle) {
        const std::lock_guard lock(mutex_);
        const auto found = items_.find(handle);
        if (found == items_.end()) {
            return nullptr;
        }
        auto item = std::move(found->second);
        items_.erase(found);
        return item;
    }

private:
    void Advance() { next_ = next_ == std::numeric_limits<std::int32_t>::max() ? 1 : next_ + 1; }

    mutable std::mutex mutex_;
    std::unordered_map<std::int32_t, std::shared_ptr<T>> items_;
    std::int32_t next_ = 1;
};

} // namespace w32n55
