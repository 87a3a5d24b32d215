#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/Filter.h"

#include <string>

// Matches frames whose data (the bytes after the link header), taken as an
// IPv4 header, carry the filter's protocol number in byte 9. It does not
// check that the frame is IP; combine it with a protocol filter for that.
class QNDIS_API CIPSubprotocolFilter : public CFilter {
public:
    CIPSubprotocolFilter() = default;
    CIPSubprotocolFilter(unsigned char value, const std::string& name, bool negateResult);
    CIPSubprotocolFilter(const CIPSubprotocolFilter&) = default;
    CIPSubprotocolFilter& operator=(const CIPSubprotocolFilter&) = default;
    ~CIPSubprotocolFilter() override;

    eFilterId GetFilterId() const override { return FilterIPSubprotocol; }
    CFilter* Clone() const override;
    bool IsSatisfied(const CFrame* frame) const override;
    std::string GetDescription() const override;
    bool Unpack(ktools::CMemoryBuffer& buffer) override;
    void Pack(ktools::CMemoryBuffer& buffer) const override;

    unsigned char GetSubprotocol() const { return m_value; }

private:
    unsigned char m_value = 0;
};
