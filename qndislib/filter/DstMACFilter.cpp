#include "qndislib/filter/DstMACFilter.h"

#include "qndislib/filter/StringTable.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/media/MediaInfo.h"

CDstMACFilter::CDstMACFilter(const std::string& address, const std::string& name, bool negateResult)
    : CMACFilter(address, name, negateResult) {}

CDstMACFilter::~CDstMACFilter() = default;

CFilter* CDstMACFilter::Clone() const {
    return new CDstMACFilter(*this);
}

bool CDstMACFilter::IsSatisfied(const CFrame* frame) const {
    const CMediaInfo* media = frame != nullptr ? frame->GetMediaInfo() : nullptr;
    return media != nullptr && Matches(media->GetDestinationAddress());
}

std::string CDstMACFilter::GetDescription() const {
    return Describe(IDS_DESTINATION_MAC);
}
