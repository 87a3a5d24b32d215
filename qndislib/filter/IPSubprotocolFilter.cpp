#include "qndislib/filter/IPSubprotocolFilter.h"

#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/frame/Frame.h"

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
    constexpr unsigned int ProtocolOffset = 9;
    return frame != nullptr && frame->GetDataLength() > ProtocolOffset &&
           frame->GetData()[ProtocolOffset] == m_value;
}
