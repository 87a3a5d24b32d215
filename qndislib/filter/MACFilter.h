#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/MACAddr.h"
#include "qndislib/filter/Filter.h"

#include <string>

// What the source and destination MAC filters share: the address, read from
// hexadecimal text with separators ignored and a short text right-aligned
// ("00:a0:c9:14:c8:29", "00A0C914C829"), its six stored bytes and the shape
// of the description. The two kinds differ only in the address they take
// from the frame's analysis and in their subject word.
class QNDIS_API CMACFilter : public CFilter {
public:
    const CMACAddr& GetMAC() const { return m_address; }

    bool Unpack(ktools::CMemoryBuffer& buffer) override;
    void Pack(ktools::CMemoryBuffer& buffer) const override;

protected:
    CMACFilter() = default;
    CMACFilter(const std::string& address, const std::string& name, bool negateResult);
    CMACFilter(const CMACFilter&) = default;
    CMACFilter& operator=(const CMACFilter&) = default;
    ~CMACFilter() override;

    bool Matches(const CMACAddr& frameAddress) const { return frameAddress == m_address; }
    std::string Describe(unsigned int subjectWord) const;

private:
    CMACAddr m_address;
};
