#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/ProtocolId.h"
#include "qndislib/filter/Filter.h"

#include <string>

// Matches frames whose link-layer protocol identifier, as the medium
// analysis found it, equals the filter's in all six bytes: a two-byte
// Ethernet type only equals an identifier holding it right-aligned.
class QNDIS_API CProtocolFilter : public CFilter {
public:
    CProtocolFilter() = default;
    CProtocolFilter(const CProtocolId& protocol, const std::string& name, bool negateResult);
    CProtocolFilter(const CProtocolFilter&) = default;
    CProtocolFilter& operator=(const CProtocolFilter&) = default;
    ~CProtocolFilter() override;

    eFilterId GetFilterId() const override { return FilterProtocol; }
    CFilter* Clone() const override;
    bool IsSatisfied(const CFrame* frame) const override;
    // Not reentrant across threads: the value text is the identifier's
    // shared five-byte text buffer.
    std::string GetDescription() const override;
    bool Unpack(ktools::CMemoryBuffer& buffer) override;
    void Pack(ktools::CMemoryBuffer& buffer) const override;

    const CProtocolId& GetProtocol() const { return m_protocol; }

private:
    CProtocolId m_protocol;
};
