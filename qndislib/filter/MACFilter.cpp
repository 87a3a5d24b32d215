#include "qndislib/filter/MACFilter.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/filter/StreamGuard.h"

namespace {
constexpr unsigned int AddressSize = 6;
}

CMACFilter::CMACFilter(const std::string& address, const std::string& name, bool negateResult)
    : CFilter(name, negateResult) {
    LoadHexString(address.c_str(), m_address, AddressSize);
}

CMACFilter::~CMACFilter() = default;

std::string CMACFilter::Describe(unsigned int subjectWord) const {
    return Word(subjectWord) + RelationWord(OperationEqual) + static_cast<std::string>(m_address);
}

void CMACFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    CFilter::Pack(buffer);
    buffer.Write(static_cast<const unsigned char*>(m_address), AddressSize);
}

bool CMACFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return CFilter::Unpack(buffer) && qndis::detail::Guarded([&] {
               buffer.Read(static_cast<unsigned char*>(m_address), AddressSize);
               return true;
           });
}
