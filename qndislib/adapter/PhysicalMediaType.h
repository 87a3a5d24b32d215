#pragma once

#include "qndislib/Export.h"

#include <cstdint>

// One NDIS physical-medium value (the NdisPhysicalMedium enumeration) with
// its display and short names.
class QNDIS_API CPhysicalMediaType {
public:
    CPhysicalMediaType() = default;
    CPhysicalMediaType(std::uint32_t type) : m_type(type) {}
    CPhysicalMediaType(const CPhysicalMediaType&) = default;
    virtual ~CPhysicalMediaType() = default;

    CPhysicalMediaType& operator=(CPhysicalMediaType other) {
        m_type = other.m_type;
        return *this;
    }
    CPhysicalMediaType& operator=(std::uint32_t type) {
        m_type = type;
        return *this;
    }

    std::int32_t GetType() const { return static_cast<std::int32_t>(m_type); }
    const char* GetName() const;
    const char* GetShortName() const;

    bool operator==(const CPhysicalMediaType& other) const { return m_type == other.m_type; }

private:
    static const char* const TypeNames[];
    static const char* const ShortNames[];

    std::uint32_t m_type = 0xFFFFFFFFU;
};
