#pragma once

#include "qndislib/Export.h"

#include <cstdint>

// One NDIS medium value (the NdisMedium enumeration) with its display and
// short names.
class QNDIS_API CMediaType {
public:
    CMediaType() = default;
    CMediaType(std::uint32_t type) : m_type(type) {}
    CMediaType(const CMediaType&) = default;
    virtual ~CMediaType() = default;

    CMediaType& operator=(CMediaType other) {
        m_type = other.m_type;
        return *this;
    }
    CMediaType& operator=(std::uint32_t type) {
        m_type = type;
        return *this;
    }

    std::int32_t GetType() const { return static_cast<std::int32_t>(m_type); }
    const char* GetName() const;
    const char* GetShortName() const;

    bool operator==(const CMediaType& other) const { return m_type == other.m_type; }

private:
    static const char* const TypeNames[];
    static const char* const ShortNames[];

    std::uint32_t m_type = 0xFFFFFFFFU;
};
