#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/Filter.h"

#include <cstdint>
#include <string>

// Compares the TCP or UDP source or destination port behind the IPv4
// header of the frame's data with the filter's port, as unsigned 16-bit
// numbers. It checks neither the link protocol nor the IP protocol.
class QNDIS_API CIPPortFilter : public CFilter {
public:
    // Types 1 and 2 select the source port, 3 and above the destination
    // port; the application may give the second of each pair its own
    // meaning, the test treats them alike. Type 0, the default, tests the
    // source port but is described as a destination port filter: stored
    // filters rely on that, so it is kept as it is.
    enum ePortType : std::uint32_t {
        PortUnset = 0,
        PortSource = 1,
        PortSourceAlt = 2,
        PortDestination = 3,
        PortDestinationAlt = 4,
    };

    CIPPortFilter() = default;
    CIPPortFilter(unsigned short port, ePortType type, eOperation operation,
                  const std::string& name, bool negateResult);
    CIPPortFilter(const CIPPortFilter&) = default;
    CIPPortFilter& operator=(const CIPPortFilter&) = default;
    ~CIPPortFilter() override;

    eFilterId GetFilterId() const override { return FilterIPPort; }
    CFilter* Clone() const override;
    bool IsSatisfied(const CFrame* frame) const override;
    std::string GetDescription() const override;
    bool Unpack(ktools::CMemoryBuffer& buffer) override;
    void Pack(ktools::CMemoryBuffer& buffer) const override;

    const unsigned short& GetIPPort() const { return m_port; }
    ePortType GetType() const { return m_type; }
    eOperation GetOperation() const { return m_operation; }

private:
    unsigned short m_port = 0;
    ePortType m_type = PortUnset;
    eOperation m_operation = OperationEqual;
};
