#include "qndislib/filter/SrcMACFilter.h"

#include "qndislib/filter/StringTable.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/media/MediaInfo.h"

CSrcMACFilter::CSrcMACFilter(const std::string& address, const std::string& name, bool negateResult)
    : CMACFilter(address, name, negateResult) {}

CSrcMACFilter::~CSrcMACFilter() = default;

CFilter* CSrcMACFilter::Clone() const {
    return new CSrcMACFilter(*this);
}

bool CSrcMACFilter::IsSatisfied(const CFrame* frame) const {
    const CMediaInfo* media = frame != nullptr ? frame->GetMediaInfo() : nullptr;
    return media != nullptr && Matches(media->GetSourceAddress());
}

std::string CSrcMACFilter::GetDescription() const {
    return Describe(IDS_SOURCE_MAC);
}
