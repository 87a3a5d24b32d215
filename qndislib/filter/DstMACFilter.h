#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/MACFilter.h"

#include <string>

// Matches frames whose destination hardware address, as the medium analysis
// found it, equals the filter's address.
class QNDIS_API CDstMACFilter : public CMACFilter {
public:
    CDstMACFilter() = default;
    CDstMACFilter(const std::string& address, const std::string& name, bool negateResult);
    CDstMACFilter(const CDstMACFilter&) = default;
    CDstMACFilter& operator=(const CDstMACFilter&) = default;
    ~CDstMACFilter() override;

    eFilterId GetFilterId() const override { return FilterDstMAC; }
    CFilter* Clone() const override;
    bool IsSatisfied(const CFrame* frame) const override;
    std::string GetDescription() const override;
};
