#include "qndislib/filter/IPSubprotocolFilter.h"

#include "qndislib/filter/IPv4Data.h"
#include "qndislib/filter/StringTable.h"

CIPSubprotocolFilter::CIPSubprotocolFilter(unsigned char value, const std::string& name,
                                           bool negateResult)
    : CByteFilter(value, name, negateResult) {}

CIPSubprotocolFilter::~CIPSubprotocolFilter() = default;

CFilter* CIPSubprotocolFilter::Clone() const {
    return new CIPSubprotocolFilter(*this);
}

std::string CIPSubprotocolFilter::GetDescription() const {
    return Describe(IDS_SUBPROTOCOL);
}

bool CIPSubprotocolFilter::IsSatisfied(const CFrame* frame) const {
    constexpr std::size_t ProtocolOffset = 9;
    const auto data = qndis::detail::DataOf(frame);
    return data.size() > ProtocolOffset && data[ProtocolOffset] == Value();
}
