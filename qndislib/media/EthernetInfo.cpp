#include "qndislib/media/EthernetInfo.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/media/ReadableBytes.h"

#include <array>
#include <cstring>
#include <limits>
#include <new>

namespace {

// Byte positions of the Ethernet header and of the LLC, SNAP and 802.1Q
// fields behind it.
constexpr std::size_t DestinationOffset = 0;
constexpr std::size_t SourceOffset = 6;
constexpr std::size_t AddressLength = 6;
constexpr std::size_t TypeOffset = 12;
constexpr std::size_t LlcOffset = 14;
constexpr std::size_t SnapCodeOffset = 17;
constexpr std::size_t TaggedSnapTagOffset = 22;
constexpr std::size_t TaggedSnapCodeOffset = 24;

constexpr unsigned MaxLengthField = 1500;
constexpr unsigned TagType = 0x8100;
constexpr unsigned char SnapSap = 0xAA;
constexpr unsigned char UiControl = 0x03;
constexpr unsigned char CanonicalFormatBit = 0x10;
constexpr unsigned char RoutingLengthMask = 0x1F;

enum FrameId : std::int32_t {
    Raw8023 = 1,
    EthernetII = 2,
    Snap = 3,
    Llc1 = 4,
    Llc2 = 5,
    Tagged = 6,
    TaggedSnap = 7,
};

// Link-header bytes that the builder writes before the payload, per id.
constexpr std::array<std::int32_t, 8> BuiltHeaderSize = {0, 14, 14, 22, 17, 18, 18, 29};

using qndis::detail::ReadBig16;
using qndis::detail::WriteBig16;

bool IsTaggedSnapCode(const unsigned char* frame) {
    return frame[17] == 0x00 && frame[18] == 0x00 && frame[19] == 0x00 && frame[20] == 0x81 &&
           frame[21] == 0x00;
}

// Identifier offset of a tagged frame whose tag control starts at `tag`: a
// set canonical-format bit puts a routing field of 2 + (first byte AND 1F)
// bytes between the tag control and the identifier.
std::int32_t TaggedIdOffset(const unsigned char* frame, std::size_t tag) {
    const std::size_t behindTag = tag + 2;
    if ((frame[tag] & CanonicalFormatBit) == 0) {
        return static_cast<std::int32_t>(behindTag);
    }
    return static_cast<std::int32_t>(behindTag + 2 + (frame[behindTag] & RoutingLengthMask));
}

template <class Analyse>
void WithReadableBytes(const unsigned char* frame, std::size_t length, Analyse analyse) {
    constexpr std::size_t Needed = CEthernetInfo::MaxAnalysedBytes;
    qndis::detail::WithReadableBytes<Needed>(frame, length, Needed, analyse);
}

} // namespace

// Constant-initialised: the table holds its rows before any dynamic
// initialiser of the library runs, so prototypes registered at load can
// point at it, and as it has no destructor it outlives them all at unload.
constinit const CMediaInfo::CFrameInfo CEthernetInfo::EthernetFrames[7] = {
    {"Ethernet 802.3", Raw8023},
    {"Ethernet II", EthernetII},
    {"Ethernet SNAP", Snap},
    {"Ethernet 802.2 type I", Llc1},
    {"Ethernet 802.2 type II", Llc2},
    {"Ethernet 802.1q", Tagged},
    {"Ethernet 802.1q (SNAP)", TaggedSnap},
};

CEthernetInfo::CEthernetInfo() : CMediaInfo("Ethernet (802.3)", "Ethernet", EthernetFrames, 7) {
    m_arpHardwareType = 1;
    m_addressSize = 6;
    LoadHexString("FFFFFFFFFFFF", m_broadcastAddress, 6);
    LoadHexString("000000000000", m_nullAddress, 6);
    LoadHexString("090007FFFFFF", m_appletalkMulticastAddress, 6);
    m_sourceAddrOffset = SourceOffset;
    m_destinationAddrOffset = DestinationOffset;
    m_sourceAddrLen = AddressLength;
    m_destinationAddrLen = AddressLength;
}

// The VLAN field is part of the analysis state here, so a copy (and with it
// every clone, such as a stored frame's) keeps the tag of the frame that was
// analysed.
CEthernetInfo::CEthernetInfo(const CEthernetInfo& other) = default;

CEthernetInfo& CEthernetInfo::operator=(const CEthernetInfo& other) = default;

CEthernetInfo::~CEthernetInfo() = default;

std::int32_t CEthernetInfo::GetFrameId(const unsigned char* frame) {
    const unsigned type = ReadBig16(frame + TypeOffset);
    if (type == TagType) {
        return Tagged;
    }
    if (type > MaxLengthField) {
        return EthernetII;
    }
    if (frame[14] == SnapSap && frame[15] == SnapSap && frame[16] == UiControl) {
        return IsTaggedSnapCode(frame) ? TaggedSnap : Snap;
    }
    if (frame[14] == 0xFF && frame[15] == 0xFF) {
        return Raw8023;
    }
    return (frame[16] & 0x03) == 0x03 ? Llc1 : Llc2;
}

bool CEthernetInfo::CheckFrameId(const unsigned char* frame, std::int32_t id) const {
    return GetFrameId(frame) == id;
}

bool CEthernetInfo::CheckFrameId(const unsigned char* frame, std::size_t length,
                                 std::int32_t id) const {
    bool matches = false;
    WithReadableBytes(frame, length,
                      [&](const unsigned char* bytes) { matches = GetFrameId(bytes) == id; });
    return matches;
}

void CEthernetInfo::AnalyzeFrame(const unsigned char* frame) {
    std::int32_t id = GetFrameId(frame);
    std::int32_t idOffset = 0;
    std::int32_t idLength = 0;
    std::int32_t headerLength = 14;
    std::uint16_t vlan = 0;
    switch (id) {
    case Raw8023:
        break;
    case EthernetII:
        idOffset = TypeOffset;
        idLength = 2;
        break;
    case Snap:
        idOffset = SnapCodeOffset;
        idLength = 5;
        headerLength = 22;
        break;
    case Llc1:
        idOffset = LlcOffset;
        idLength = 1;
        headerLength = 17;
        break;
    case Llc2:
        idOffset = LlcOffset;
        idLength = 1;
        headerLength = 18;
        break;
    case Tagged:
        vlan = static_cast<std::uint16_t>(ReadBig16(frame + LlcOffset));
        idOffset = TaggedIdOffset(frame, LlcOffset);
        idLength = 2;
        headerLength = idOffset + 2;
        break;
    default:
        vlan = static_cast<std::uint16_t>(ReadBig16(frame + TaggedSnapTagOffset));
        idOffset = TaggedIdOffset(frame, TaggedSnapTagOffset);
        idLength = 5;
        headerLength = idOffset + 5;
        break;
    }
    static_assert(TaggedSnapCodeOffset == TaggedSnapTagOffset + 2);
    m_frameType = id;
    m_protocolIdOffset = idOffset;
    m_protocolIdLen = idLength;
    m_headerLen = headerLength;
    m_vlan = vlan;
    m_protocolId.Set(idLength, frame + idOffset);
    m_sourceAddress = CMACAddr(frame + SourceOffset);
    m_destinationAddress = CMACAddr(frame + DestinationOffset);
}

void CEthernetInfo::AnalyzeFrame(const unsigned char* frame, std::size_t length) {
    WithReadableBytes(frame, length,
                      [this](const unsigned char* bytes) { CEthernetInfo::AnalyzeFrame(bytes); });
}

CMediaInfo* CEthernetInfo::Clone() const {
    return new (std::nothrow) CEthernetInfo(*this);
}

unsigned char* CEthernetInfo::CreateFrame(std::int32_t& length, std::int32_t frameType,
                                          const unsigned char* payload, std::int32_t payloadLength,
                                          CMACAddr source, CMACAddr destination,
                                          CProtocolId protocol) {
    length = 0;
    if (frameType < Raw8023 || frameType > TaggedSnap || payloadLength < 0 ||
        (payload == nullptr && payloadLength > 0)) {
        return nullptr;
    }
    const std::int32_t header = BuiltHeaderSize[static_cast<std::size_t>(frameType)];
    if (payloadLength > std::numeric_limits<std::int32_t>::max() - header) {
        return nullptr;
    }
    const std::int32_t total = header + payloadLength;
    auto* frame =
        static_cast<unsigned char*>(::operator new(static_cast<std::size_t>(total), std::nothrow));
    if (frame == nullptr) {
        return nullptr;
    }

    const unsigned char* id = protocol;
    const unsigned char* twoByte = id + 4;
    const unsigned char* fiveByte = id + 1;
    const unsigned char sap = id[5];
    // Counts every byte after the field itself; only its low 16 bits fit.
    const auto lengthField = static_cast<std::uint32_t>(total - 14);

    std::memcpy(frame + DestinationOffset, static_cast<const unsigned char*>(destination),
                AddressLength);
    std::memcpy(frame + SourceOffset, static_cast<const unsigned char*>(source), AddressLength);
    unsigned char* field = frame + TypeOffset;
    switch (frameType) {
    case Raw8023:
        // A raw 802.3 frame carries its length and then the data, which for
        // the traffic that uses it (such as IPX) begins FF FF. The payload
        // goes in unchanged, so a payload that begins FF FF is classified
        // back as this type, with the data at byte 14.
        WriteBig16(field, lengthField);
        break;
    case EthernetII:
        std::memcpy(field, twoByte, 2);
        break;
    case Snap: {
        WriteBig16(field, lengthField);
        const unsigned char llc[3] = {SnapSap, SnapSap, UiControl};
        std::memcpy(frame + LlcOffset, llc, 3);
        std::memcpy(frame + SnapCodeOffset, fiveByte, 5);
        break;
    }
    case Llc1: {
        WriteBig16(field, lengthField);
        const unsigned char llc[3] = {sap, sap, UiControl};
        std::memcpy(frame + LlcOffset, llc, 3);
        break;
    }
    case Llc2: {
        WriteBig16(field, lengthField);
        const unsigned char llc[4] = {sap, sap, 0x00, 0x00};
        std::memcpy(frame + LlcOffset, llc, 4);
        break;
    }
    case Tagged:
        WriteBig16(field, TagType);
        WriteBig16(frame + LlcOffset, m_builtTagControl);
        std::memcpy(frame + 16, twoByte, 2);
        break;
    default: {
        WriteBig16(field, lengthField);
        const unsigned char snap[8] = {SnapSap, SnapSap, UiControl, 0x00, 0x00, 0x00, 0x81, 0x00};
        std::memcpy(frame + LlcOffset, snap, 8);
        WriteBig16(frame + TaggedSnapTagOffset, m_builtTagControl);
        std::memcpy(frame + TaggedSnapCodeOffset, fiveByte, 5);
        break;
    }
    }
    if (payloadLength > 0) {
        std::memcpy(frame + header, payload, static_cast<std::size_t>(payloadLength));
    }
    length = total;
    return frame;
}

bool CEthernetInfo::IsBroadcast() const {
    return m_destinationAddress == m_broadcastAddress;
}

bool CEthernetInfo::IsMulticast() const {
    const unsigned char* destination = m_destinationAddress;
    return (destination[0] & 0x01) != 0;
}

int CEthernetInfo::GetOverhead() const {
    return 12;
}
