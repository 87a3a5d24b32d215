#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/MACAddr.h"
#include "qndislib/filter/Filter.h"

#include <string>

// Matches frames whose destination hardware address, as the medium analysis
// found it, equals the filter's address.
class QNDIS_API CDstMACFilter : public CFilter {
public:
    CDstMACFilter() = default;
    // The address text is read as hexadecimal digits, separators ignored
    // and a short text right-aligned ("00:a0:c9:14:c8:29", "00A0C914C829").
    CDstMACFilter(const std::string& address, const std::string& name, bool negateResult);
    CDstMACFilter(const CDstMACFilter&) = default;
    CDstMACFilter& operator=(const CDstMACFilter&) = default;
    ~CDstMACFilter() override;

    eFilterId GetFilterId() const override { return FilterDstMAC; }
    CFilter* Clone() const override;
    bool IsSatisfied(const CFrame* frame) const override;
    std::string GetDescription() const override;
    bool Unpack(ktools::CMemoryBuffer& buffer) override;
    void Pack(ktools::CMemoryBuffer& buffer) const override;

    const CMACAddr& GetMAC() const { return m_address; }

private:
    CMACAddr m_address;
};
