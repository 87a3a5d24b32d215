#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/ByteFilter.h"

#include <string>

// Matches frames whose data, taken as an IPv4 header, are followed by an
// ICMP message of the filter's type: the byte behind the header length
// that the first data byte gives. Like the subprotocol filter it does not
// check that the frame is IP or ICMP.
class QNDIS_API CICMPTypeFilter : public CByteFilter {
public:
    CICMPTypeFilter() = default;
    CICMPTypeFilter(unsigned char value, const std::string& name, bool negateResult);
    CICMPTypeFilter(const CICMPTypeFilter&) = default;
    CICMPTypeFilter& operator=(const CICMPTypeFilter&) = default;
    ~CICMPTypeFilter() override;

    eFilterId GetFilterId() const override { return FilterICMPType; }
    CFilter* Clone() const override;
    bool IsSatisfied(const CFrame* frame) const override;
    std::string GetDescription() const override;

    unsigned char GetICMPType() const { return Value(); }
};
