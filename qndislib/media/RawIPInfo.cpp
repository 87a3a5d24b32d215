#include "qndislib/media/RawIPInfo.h"

#include <new>

namespace {

constexpr std::int32_t IPv4 = CLinkHeaderInfo::FrameIPv4;
constexpr std::int32_t IPv6 = CLinkHeaderInfo::FrameIPv6;
constexpr std::int32_t Other = CLinkHeaderInfo::FrameOtherIP;

constexpr int ArpHardwareNone = 0xFFFE;

} // namespace

constinit const CMediaInfo::CFrameInfo CRawIPInfo::RawFrames[3] = {
    {"Raw IPv4", IPv4},
    {"Raw IPv6", IPv6},
    {"Raw IP other", Other},
};

CRawIPInfo::CRawIPInfo() : CLinkHeaderInfo("Raw IP", "RawIP", RawFrames, 3, 1) {
    m_arpHardwareType = ArpHardwareNone;
}

std::int32_t CRawIPInfo::Classify(const unsigned char* frame) const {
    switch (frame[0] >> 4) {
    case 4:
        return IPv4;
    case 6:
        return IPv6;
    default:
        return Other;
    }
}

void CRawIPInfo::Analyse(const unsigned char* frame) {
    SetIPAnalysis(Classify(frame), 0, 0);
}

CMediaInfo* CRawIPInfo::Clone() const {
    return new (std::nothrow) CRawIPInfo(*this);
}

unsigned char* CRawIPInfo::CreateFrame(std::int32_t& length, std::int32_t frameType,
                                       const unsigned char* payload, std::int32_t payloadLength,
                                       CMACAddr /*source*/, CMACAddr /*destination*/,
                                       CProtocolId /*protocol*/) {
    return NewIPFrame(length, frameType, 0, payload, payloadLength);
}
