#include "qndislib/filter/IPPortFilter.h"

#include "qndislib/filter/Compare.h"
#include "qndislib/filter/IPv4Data.h"
#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/ktools/LittleEndian.h"

CIPPortFilter::CIPPortFilter(unsigned short port, ePortType type, eOperation operation,
                             const std::string& name, bool negateResult)
    : CFilter(name, negateResult), m_port(port), m_type(type), m_operation(operation) {}

CIPPortFilter::~CIPPortFilter() = default;

CFilter* CIPPortFilter::Clone() const {
    return new CIPPortFilter(*this);
}

bool CIPPortFilter::IsSatisfied(const CFrame* frame) const {
    const auto data = qndis::detail::DataOf(frame);
    if (data.empty()) {
        return false;
    }
    const std::size_t offset =
        qndis::detail::IPv4HeaderLength(data) + (m_type <= PortSourceAlt ? 0 : 2);
    if (data.size() < offset + 2) {
        return false;
    }
    const std::uint16_t value = qndis::detail::ReadBig16(data.data() + offset);
    return qndis::detail::Compare<unsigned short>(value, m_port, m_operation);
}

std::string CIPPortFilter::GetDescription() const {
    const bool source = m_type == PortSource || m_type == PortSourceAlt;
    return Word(source ? IDS_SOURCE_PORT : IDS_DESTINATION_PORT) + RelationWord(m_operation) +
           std::to_string(m_port);
}

void CIPPortFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    namespace le = ktools::le;
    CFilter::Pack(buffer);
    le::Write<std::uint16_t>(buffer, m_port);
    le::Write<std::uint32_t>(buffer, m_type);
    le::Write<std::int32_t>(buffer, m_operation);
}

bool CIPPortFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return CFilter::Unpack(buffer) && qndis::detail::Guarded([&] {
               namespace le = ktools::le;
               m_port = le::Read<std::uint16_t>(buffer);
               m_type = static_cast<ePortType>(le::Read<std::uint32_t>(buffer));
               m_operation = static_cast<eOperation>(le::Read<std::int32_t>(buffer));
               return true;
           });
}
