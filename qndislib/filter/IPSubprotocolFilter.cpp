#include "qndislib/filter/IPSubprotocolFilter.h"

#include "qndislib/filter/IPv4Data.h"
#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"

CIPSubprotocolFilter::CIPSubprotocolFilter(unsigned char value, const std::string& name,
                                           bool negateResult)
    : CFilter(name, negateResult), m_value(value) {}

CIPSubprotocolFilter::~CIPSubprotocolFilter() = default;

CFilter* CIPSubprotocolFilter::Clone() const {
    return new CIPSubprotocolFilter(*this);
}

std::string CIPSubprotocolFilter::GetDescription() const {
    return Word(IDS_SUBPROTOCOL) + RelationWord(OperationEqual) + std::to_string(m_value);
}

void CIPSubprotocolFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    CFilter::Pack(buffer);
    buffer.Write(&m_value, 1);
}

bool CIPSubprotocolFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return CFilter::Unpack(buffer) && qndis::detail::Guarded([&] {
               buffer.Read(&m_value, 1);
               return true;
           });
}

bool CIPSubprotocolFilter::IsSatisfied(const CFrame* frame) const {
    constexpr std::size_t ProtocolOffset = 9;
    const auto data = qndis::detail::DataOf(frame);
    return data.size() > ProtocolOffset && data[ProtocolOffset] == m_value;
}
