#pragma once

#include <utility>

namespace ktools {

// Holds one reference of an object that counts its holders itself (AddRef,
// Release): the count stays the object's own, so holders outside this
// library see the same count, while no holder here can forget a Release.
template <typename T> class SharedRef {
public:
    SharedRef() = default;
    // Takes a reference of its own: AddRef when `object` is not null.
    explicit SharedRef(T* object) : m_object(object) {
        if (m_object != nullptr) {
            m_object->AddRef();
        }
    }
    SharedRef(const SharedRef& other) : SharedRef(other.m_object) {}
    SharedRef(SharedRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    // The new reference is taken before the old one goes, so an object held
    // by both sides survives.
    SharedRef& operator=(const SharedRef& other) {
        SharedRef(other).Swap(*this);
        return *this;
    }
    SharedRef& operator=(SharedRef&& other) noexcept {
        SharedRef(std::move(other)).Swap(*this);
        return *this;
    }
    ~SharedRef() {
        if (m_object != nullptr) {
            m_object->Release();
        }
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    void Swap(SharedRef& other) noexcept { std::swap(m_object, other.m_object); }

    T* m_object = nullptr;
};

} // namespace ktools
