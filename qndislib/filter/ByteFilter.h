#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/Filter.h"

#include <string>

// What the IP protocol-number and ICMP-type filters share: one byte that
// the kind compares with a byte of the frame's IPv4 data, stored as one
// byte and described in decimal after the kind's subject word.
class QNDIS_API CByteFilter : public CFilter {
public:
    bool Unpack(ktools::CMemoryBuffer& buffer) override;
    void Pack(ktools::CMemoryBuffer& buffer) const override;

protected:
    CByteFilter() = default;
    CByteFilter(unsigned char value, const std::string& name, bool negateResult);
    CByteFilter(const CByteFilter&) = default;
    CByteFilter& operator=(const CByteFilter&) = default;
    ~CByteFilter() override;

    unsigned char Value() const { return m_value; }
    std::string Describe(unsigned int subjectWord) const;

private:
    unsigned char m_value = 0;
};
