#include "qndislib/filter/ICMPTypeFilter.h"

#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/frame/Frame.h"

CICMPTypeFilter::CICMPTypeFilter(unsigned char value, const std::string& name, bool negateResult)
    : CFilter(name, negateResult), m_value(value) {}

CICMPTypeFilter::~CICMPTypeFilter() = default;

CFilter* CICMPTypeFilter::Clone() const {
    return new CICMPTypeFilter(*this);
}

std::string CICMPTypeFilter::GetDescription() const {
    return Word(IDS_ICMP_TYPE) + RelationWord(OperationEqual) + std::to_string(m_value);
}

void CICMPTypeFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    CFilter::Pack(buffer);
    buffer.Write(&m_value, 1);
}

bool CICMPTypeFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return CFilter::Unpack(buffer) && qndis::detail::Guarded([&] {
               buffer.Read(&m_value, 1);
               return true;
           });
}

bool CICMPTypeFilter::IsSatisfied(const CFrame* frame) const {
    if (frame == nullptr || frame->GetDataLength() == 0) {
        return false;
    }
    const unsigned char* data = frame->GetData();
    const unsigned int headerLength = (data[0] & 0x0Fu) * 4;
    return frame->GetDataLength() > headerLength && data[headerLength] == m_value;
}
