#include "qndislib/filter/ByteFilter.h"

#include "qndislib/filter/StreamGuard.h"

CByteFilter::CByteFilter(unsigned char value, const std::string& name, bool negateResult)
    : CFilter(name, negateResult), m_value(value) {}

CByteFilter::~CByteFilter() = default;

std::string CByteFilter::Describe(unsigned int subjectWord) const {
    return Word(subjectWord) + RelationWord(OperationEqual) + std::to_string(m_value);
}

void CByteFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    CFilter::Pack(buffer);
    buffer.Write(&m_value, 1);
}

bool CByteFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return CFilter::Unpack(buffer) && qndis::detail::Guarded([&] {
               buffer.Read(&m_value, 1);
               return true;
           });
}
