#include "qndislib/media/LoopbackInfo.h"

#include "qndislib/media/ReadableBytes.h"
#include "qndislib/w32n55abi/LittleEndian.h"

#include <array>
#include <new>

namespace {

constexpr std::int32_t IPv4 = CLinkHeaderInfo::FrameIPv4;
constexpr std::int32_t IPv6 = CLinkHeaderInfo::FrameIPv6;
constexpr std::int32_t Other = CLinkHeaderInfo::FrameOtherIP;

constexpr int FamilyLength = 4;
constexpr std::uint32_t FamilyIPv4 = 2;
// The systems that write these captures disagree on the IPv6 family.
constexpr std::array<std::uint32_t, 3> FamiliesIPv6 = {24, 28, 30};
constexpr std::uint32_t WrittenFamilyIPv6 = 24;
constexpr int ArpHardwareLoopback = 772;

using qndis::detail::ReadBig32;

} // namespace

constinit const CMediaInfo::CFrameInfo CLoopbackInfo::LoopbackFrames[3] = {
    {"Loopback IPv4", IPv4},
    {"Loopback IPv6", IPv6},
    {"Loopback other", Other},
};

CLoopbackInfo::CLoopbackInfo(ByteOrder order)
    : CLinkHeaderInfo(order == NetworkOrder ? "Loopback (network order)" : "Loopback",
                      order == NetworkOrder ? "Loop" : "Null", LoopbackFrames, 3, FamilyLength),
      m_order(order == NetworkOrder ? NetworkOrder : HostOrder) {
    m_arpHardwareType = ArpHardwareLoopback;
}

// A host-order file read on a host of the other order shows the family in
// the upper half; families are small, so that half gives the order away.
std::uint32_t CLoopbackInfo::ReadFamily(const unsigned char* frame) const {
    if (m_order == NetworkOrder) {
        return ReadBig32(frame);
    }
    const auto little = w32n55abi::ReadLittleEndian<std::uint32_t>(frame);
    return (little & 0xFFFFu) == 0 ? ReadBig32(frame) : little;
}

std::int32_t CLoopbackInfo::Classify(const unsigned char* frame) const {
    const std::uint32_t family = ReadFamily(frame);
    if (family == FamilyIPv4) {
        return IPv4;
    }
    for (const std::uint32_t ipv6 : FamiliesIPv6) {
        if (family == ipv6) {
            return IPv6;
        }
    }
    return Other;
}

void CLoopbackInfo::Analyse(const unsigned char* frame) {
    SetIPAnalysis(Classify(frame), FamilyLength, 0);
}

CMediaInfo* CLoopbackInfo::Clone() const {
    return new (std::nothrow) CLoopbackInfo(*this);
}

unsigned char* CLoopbackInfo::CreateFrame(std::int32_t& length, std::int32_t frameType,
                                          const unsigned char* payload, std::int32_t payloadLength,
                                          CMACAddr /*source*/, CMACAddr /*destination*/,
                                          CProtocolId /*protocol*/) {
    unsigned char* frame = NewIPFrame(length, frameType, FamilyLength, payload, payloadLength);
    if (frame == nullptr) {
        return nullptr;
    }
    const std::uint32_t family =
        frameType == IPv4 ? FamilyIPv4 : (frameType == IPv6 ? WrittenFamilyIPv6 : 0);
    for (int i = 0; i < FamilyLength; ++i) {
        const int shift = m_order == NetworkOrder ? 8 * (FamilyLength - 1 - i) : 8 * i;
        frame[i] = static_cast<unsigned char>(family >> shift);
    }
    return frame;
}
