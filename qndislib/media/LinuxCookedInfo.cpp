#include "qndislib/media/LinuxCookedInfo.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/media/ReadableBytes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace {

// Where each version keeps its fields. One-byte reads of the packet type
// and the address length take the low byte of version 1's 16-bit fields.
struct Layout {
    std::size_t packetType;
    std::size_t hardwareType;
    std::size_t addressLength;
    std::size_t address;
    std::size_t protocol;
    std::size_t header;
};

constexpr Layout Version1Layout{1, 2, 5, 6, 14, 16};
constexpr Layout Version2Layout{10, 8, 11, 12, 0, 20};
constexpr std::size_t AddressField = 8;
static_assert(Version1Layout.address + AddressField == Version1Layout.protocol);
static_assert(Version2Layout.address + AddressField == Version2Layout.header);

constexpr std::size_t MacLength = 6;
constexpr std::uint16_t FirstEtherType = 0x0600;
constexpr std::uint16_t LlcProtocol = 0x0004;
constexpr std::size_t LlcHeader = 3;
constexpr unsigned char UiControl = 0x03;

constexpr int PacketBroadcast = 1;
constexpr int PacketMulticast = 2;
constexpr int PacketOutgoing = 4;
constexpr std::uint16_t HardwareEthernet = 1;

enum FrameId : std::int32_t { Cooked = 1, CookedLlc = 2, CookedOther = 3 };

using qndis::detail::ReadBig16;
using qndis::detail::WriteBig16;

const Layout& LayoutOf(CLinuxCookedInfo::Version version) {
    return version == CLinuxCookedInfo::Version2 ? Version2Layout : Version1Layout;
}

} // namespace

constinit const CMediaInfo::CFrameInfo CLinuxCookedInfo::CookedFrames[3] = {
    {"Linux cooked", Cooked},
    {"Linux cooked 802.2", CookedLlc},
    {"Linux cooked other", CookedOther},
};

CLinuxCookedInfo::CLinuxCookedInfo(Version version)
    : CLinkHeaderInfo(version == Version2 ? "Linux cooked capture v2" : "Linux cooked capture",
                      version == Version2 ? "LinuxCooked2" : "LinuxCooked", CookedFrames, 3,
                      LayoutOf(version).header + 1),
      m_version(version == Version2 ? Version2 : Version1) {
    m_arpHardwareType = HardwareEthernet;
    m_addressSize = MacLength;
    LoadHexString("FFFFFFFFFFFF", m_broadcastAddress, MacLength);
    m_sourceAddrOffset = static_cast<int>(LayoutOf(m_version).address);
    m_sourceAddrLen = MacLength;
}

std::int32_t CLinuxCookedInfo::Classify(const unsigned char* frame) const {
    const std::uint16_t protocol = ReadBig16(frame + LayoutOf(m_version).protocol);
    if (protocol >= FirstEtherType) {
        return Cooked;
    }
    return protocol == LlcProtocol ? CookedLlc : CookedOther;
}

void CLinuxCookedInfo::Analyse(const unsigned char* frame) {
    const Layout& layout = LayoutOf(m_version);
    const auto header = static_cast<int>(layout.header);
    const auto field = static_cast<int>(layout.protocol);
    const std::int32_t type = Classify(frame);
    if (type == CookedLlc) {
        SetAnalysis(type, header + static_cast<int>(LlcHeader), header, 1,
                    CProtocolId(1, frame + layout.header));
    } else {
        SetAnalysis(type, header, field, 2, CProtocolId(2, frame + layout.protocol));
    }
    m_packetType = frame[layout.packetType];
    std::array<unsigned char, MacLength> source{};
    std::memcpy(source.data(), frame + layout.address,
                std::min<std::size_t>(frame[layout.addressLength], MacLength));
    m_sourceAddress = CMACAddr(source.data());
    m_destinationAddress = CMACAddr();
}

CMediaInfo* CLinuxCookedInfo::Clone() const {
    return new (std::nothrow) CLinuxCookedInfo(*this);
}

unsigned char* CLinuxCookedInfo::CreateFrame(std::int32_t& length, std::int32_t frameType,
                                             const unsigned char* payload,
                                             std::int32_t payloadLength, CMACAddr source,
                                             CMACAddr /*destination*/, CProtocolId protocol) {
    length = 0;
    if (frameType < Cooked || frameType > CookedOther) {
        return nullptr;
    }
    const Layout& layout = LayoutOf(m_version);
    const bool llc = frameType == CookedLlc;
    const auto header = static_cast<std::int32_t>(layout.header + (llc ? LlcHeader : 0));
    unsigned char* frame = NewFrame(length, header, payload, payloadLength);
    if (frame == nullptr) {
        return nullptr;
    }
    const unsigned char* id = protocol;
    frame[layout.packetType] = PacketOutgoing;
    WriteBig16(frame + layout.hardwareType, HardwareEthernet);
    frame[layout.addressLength] = MacLength;
    std::memcpy(frame + layout.address, static_cast<const unsigned char*>(source), MacLength);
    if (llc) {
        WriteBig16(frame + layout.protocol, LlcProtocol);
        const unsigned char sap = id[5];
        const unsigned char llcHeader[LlcHeader] = {sap, sap, UiControl};
        std::memcpy(frame + layout.header, llcHeader, LlcHeader);
    } else {
        std::memcpy(frame + layout.protocol, id + 4, 2);
    }
    return frame;
}

bool CLinuxCookedInfo::IsBroadcast() const {
    return m_packetType == PacketBroadcast;
}

bool CLinuxCookedInfo::IsMulticast() const {
    return m_packetType == PacketBroadcast || m_packetType == PacketMulticast;
}
