#include "qndislib/filter/ICMPTypeFilter.h"

#include "qndislib/filter/IPv4Data.h"
#include "qndislib/filter/StringTable.h"

CICMPTypeFilter::CICMPTypeFilter(unsigned char value, const std::string& name, bool negateResult)
    : CByteFilter(value, name, negateResult) {}

CICMPTypeFilter::~CICMPTypeFilter() = default;

CFilter* CICMPTypeFilter::Clone() const {
    return new CICMPTypeFilter(*this);
}

std::string CICMPTypeFilter::GetDescription() const {
    return Describe(IDS_ICMP_TYPE);
}

bool CICMPTypeFilter::IsSatisfied(const CFrame* frame) const {
    const auto data = qndis::detail::DataOf(frame);
    if (data.empty()) {
        return false;
    }
    const std::size_t headerLength = qndis::detail::IPv4HeaderLength(data);
    return data.size() > headerLength && data[headerLength] == Value();
}
