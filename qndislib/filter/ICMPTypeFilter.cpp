#include "qndislib/filter/ICMPTypeFilter.h"

#include "qndislib/filter/IPv4Data.h"
#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"

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
    const auto data = qndis::detail::DataOf(frame);
    if (data.empty()) {
        return false;
    }
    const std::size_t headerLength = qndis::detail::IPv4HeaderLength(data);
    return data.size() > headerLength && data[headerLength] == m_value;
}
