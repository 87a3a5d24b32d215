#include "qndislib/filter/SrcMACFilter.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/media/MediaInfo.h"

CSrcMACFilter::CSrcMACFilter(const std::string& address, const std::string& name, bool negateResult)
    : CFilter(name, negateResult) {
    LoadHexString(address.c_str(), m_address, 6);
}

CSrcMACFilter::~CSrcMACFilter() = default;

CFilter* CSrcMACFilter::Clone() const {
    return new CSrcMACFilter(*this);
}

bool CSrcMACFilter::IsSatisfied(const CFrame* frame) const {
    const CMediaInfo* media = frame != nullptr ? frame->GetMediaInfo() : nullptr;
    return media != nullptr && media->GetSourceAddress() == m_address;
}

std::string CSrcMACFilter::GetDescription() const {
    return Word(IDS_SOURCE_MAC) + RelationWord(OperationEqual) +
           static_cast<std::string>(m_address);
}

void CSrcMACFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    CFilter::Pack(buffer);
    buffer.Write(static_cast<const unsigned char*>(m_address), 6);
}

bool CSrcMACFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return CFilter::Unpack(buffer) && qndis::detail::Guarded([&] {
               buffer.Read(static_cast<unsigned char*>(m_address), 6);
               return true;
           });
}
