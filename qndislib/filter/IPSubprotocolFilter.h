#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/ByteFilter.h"

#include <string>

// Matches frames whose data (the bytes after the link header), taken as an
// IPv4 header, carry the filter's protocol number in byte 9. It does not
// check that the frame is IP; combine it with a protocol filter for that.
class QNDIS_API CIPSubprotocolFilter : public CByteFilter {
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

    unsigned char GetSubprotocol() const { return Value(); }
};
