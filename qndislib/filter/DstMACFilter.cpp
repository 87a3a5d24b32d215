#include "qndislib/filter/DstMACFilter.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/media/MediaInfo.h"

CDstMACFilter::CDstMACFilter(const std::string& address, const std::string& name, bool negateResult)
    : CFilter(name, negateResult) {
    LoadHexString(address.c_str(), m_address, 6);
}

CDstMACFilter::~CDstMACFilter() = default;

CFilter* CDstMACFilter::Clone() const {
    return new CDstMACFilter(*this);
}

bool CDstMACFilter::IsSatisfied(const CFrame* frame) const {
    const CMediaInfo* media = frame != nullptr ? frame->GetMediaInfo() : nullptr;
    return media != nullptr && media->GetDestinationAddress() == m_address;
}

std::string CDstMACFilter::GetDescription() const {
    return Word(IDS_DESTINATION_MAC) + RelationWord(OperationEqual) +
           static_cast<std::string>(m_address);
}

void CDstMACFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    CFilter::Pack(buffer);
    buffer.Write(static_cast<const unsigned char*>(m_address), 6);
}

bool CDstMACFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return CFilter::Unpack(buffer) && qndis::detail::Guarded([&] {
               buffer.Read(static_cast<unsigned char*>(m_address), 6);
               return true;
           });
}
