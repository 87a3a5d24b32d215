#include "qndislib/filter/IPAddrFilter.h"

#include "qndislib/filter/Compare.h"
#include "qndislib/filter/IPv4Data.h"
#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/ktools/LittleEndian.h"
#include "qndislib/platform/Inet.h"

CIPAddrFilter::CIPAddrFilter(const std::string& address, unsigned int offset, eOperation operation,
                             const std::string& name, bool negateResult)
    : CIPAddrFilter(static_cast<unsigned int>(inet_addr(address.c_str())), offset, operation, name,
                    negateResult) {}

CIPAddrFilter::CIPAddrFilter(unsigned int address, unsigned int offset, eOperation operation,
                             const std::string& name, bool negateResult)
    : CFilter(name, negateResult), m_address(ntohl(address)), m_offset(offset),
      m_operation(operation) {}

CIPAddrFilter::~CIPAddrFilter() = default;

CFilter* CIPAddrFilter::Clone() const {
    return new CIPAddrFilter(*this);
}

bool CIPAddrFilter::IsSatisfied(const CFrame* frame) const {
    const auto data = qndis::detail::DataOf(frame);
    if (data.size() < std::uint64_t{m_offset} + 4) {
        return false;
    }
    const std::uint32_t value = qndis::detail::ReadBig32(data.data() + m_offset);
    return qndis::detail::Compare(value, m_address, m_operation);
}

std::string CIPAddrFilter::GetIPAddr() const {
    in_addr address{};
    address.s_addr = htonl(m_address);
    char text[INET_ADDRSTRLEN] = {};
    // inet_ntop gives inet_ntoa's text without its shared buffer.
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::string CIPAddrFilter::GetDescription() const {
    return Word(m_offset == SourceOffset ? IDS_SOURCE_IP : IDS_DESTINATION_IP) +
           RelationWord(m_operation) + GetIPAddr();
}

void CIPAddrFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    namespace le = ktools::le;
    CFilter::Pack(buffer);
    le::Write<std::uint32_t>(buffer, m_address);
    le::Write<std::uint32_t>(buffer, m_offset);
    le::Write<std::int32_t>(buffer, m_operation);
}

bool CIPAddrFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return CFilter::Unpack(buffer) && qndis::detail::Guarded([&] {
               namespace le = ktools::le;
               m_address = le::Read<std::uint32_t>(buffer);
               m_offset = le::Read<std::uint32_t>(buffer);
               m_operation = static_cast<eOperation>(le::Read<std::int32_t>(buffer));
               return true;
           });
}
