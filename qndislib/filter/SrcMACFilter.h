#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/MACFilter.h"

#include <string>

// Matches frames whose source hardware address, as the medium analysis
// found it, equals the filter's address.
class QNDIS_API CSrcMACFilter : public CMACFilter {
public:
    CSrcMACFilter() = default;
    CSrcMACFilter(const std::string& address, const std::string& name, bool negateResult);
    CSrcMACFilter(const CSrcMACFilter&) = default;
    CSrcMACFilter& operator=(const CSrcMACFilter&) = default;
    ~CSrcMACFilter() override;

    eFilterId GetFilterId() const override { return FilterSrcMAC; }
    CFilter* Clone() const override;
    bool IsSatisfied(const CFrame* frame) const override;
    std::string GetDescription() const override;
};
