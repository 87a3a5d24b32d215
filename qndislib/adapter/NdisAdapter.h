#pragma once

#include "qndislib/Export.h"
#include "qndislib/adapter/MediaType.h"
#include "qndislib/adapter/PhysicalMediaType.h"
#include "qndislib/addr/MACAddr.h"

#include <array>
#include <cstdint>
#include <string>

// One adapter of the machine with the properties read once, when it is made
// with its names. An adapter that cannot be opened keeps the defaults: the
// all-zero address, no media, link speed 0 and an empty speed text; an
// unknown link speed also leaves the text empty.
class QNDIS_API CNdisAdapter {
public:
    static constexpr int MaxMedia = 10;

    CNdisAdapter() = default;
    // Null names count as empty.
    CNdisAdapter(const char* ndisName, const char* name);
    CNdisAdapter(const CNdisAdapter&) = default;
    CNdisAdapter& operator=(const CNdisAdapter&) = default;
    virtual ~CNdisAdapter() = default;

    // Identity, not equality: an equal copy is another adapter entry.
    int operator==(const CNdisAdapter& other) const { return this == &other ? 1 : 0; }

    // Opens the adapter with a temporary hook and reads address, physical
    // medium, media in use and link speed.
    void Create();

    std::string GetFullDescription() const;
    std::string GetSmallFullDescription() const;

    // These read the first media entry even when no medium was read, and
    // then describe a default medium.
    const char* GetTypeAsString() const { return m_media[0].GetShortName(); }
    const CMediaType* GetType() const { return &m_media[0]; }

    const char* GetMediumAsString() const { return m_physicalMedium.GetShortName(); }
    const CPhysicalMediaType* GetMedia() const { return &m_physicalMedium; }
    const std::string& GetLinkSpeedString() const { return m_linkSpeedText; }
    const std::string& GetNdisName() const { return m_ndisName; }
    const std::string& GetName() const { return m_name; }
    const CMACAddr& GetAddress() const { return m_address; }

private:
    std::string MediaShortNames() const;

    CMACAddr m_address;
    std::string m_ndisName;
    std::string m_name;
    CPhysicalMediaType m_physicalMedium;
    std::array<CMediaType, MaxMedia> m_media{};
    int m_mediaCount = 0;
    std::int32_t m_linkSpeed = 0;
    std::string m_linkSpeedText;
};
