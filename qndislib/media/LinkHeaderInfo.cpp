#include "qndislib/media/LinkHeaderInfo.h"

#include "qndislib/media/ReadableBytes.h"

#include <array>
#include <cstring>
#include <limits>
#include <new>

CLinkHeaderInfo::CLinkHeaderInfo(const char* name, const char* shorthand, const CFrameInfo* frames,
                                 std::int32_t frameCount, std::size_t analysedBytes)
    : CMediaInfo(name, shorthand, frames, frameCount),
      m_analysedBytes(analysedBytes < MaxAnalysedBytes ? analysedBytes : MaxAnalysedBytes) {}

bool CLinkHeaderInfo::CheckFrameId(const unsigned char* frame, std::int32_t id) const {
    return Classify(frame) == id;
}

bool CLinkHeaderInfo::CheckFrameId(const unsigned char* frame, std::size_t length,
                                   std::int32_t id) const {
    bool matches = false;
    qndis::detail::WithReadableBytes<MaxAnalysedBytes>(
        frame, length, m_analysedBytes,
        [&](const unsigned char* bytes) { matches = Classify(bytes) == id; });
    return matches;
}

void CLinkHeaderInfo::AnalyzeFrame(const unsigned char* frame) {
    Analyse(frame);
}

void CLinkHeaderInfo::AnalyzeFrame(const unsigned char* frame, std::size_t length) {
    qndis::detail::WithReadableBytes<MaxAnalysedBytes>(
        frame, length, m_analysedBytes, [this](const unsigned char* bytes) { Analyse(bytes); });
}

CProtocolId CLinkHeaderInfo::EtherTypeId(std::uint16_t etherType) {
    const std::array<unsigned char, 2> type = {static_cast<unsigned char>(etherType >> 8),
                                               static_cast<unsigned char>(etherType)};
    return etherType != 0 ? CProtocolId(2, type.data()) : CProtocolId();
}

void CLinkHeaderInfo::SetAnalysis(std::int32_t frameType, int header, int idOffset, int idLength,
                                  const CProtocolId& id) {
    m_frameType = frameType;
    m_headerLen = header;
    m_protocolIdOffset = idOffset;
    m_protocolIdLen = idLength;
    m_protocolId = id;
}

void CLinkHeaderInfo::SetIPAnalysis(std::int32_t ipFrameId, int header, int fieldOffset) {
    constexpr std::uint16_t TypeIPv4 = 0x0800;
    constexpr std::uint16_t TypeIPv6 = 0x86DD;
    const bool known = ipFrameId == FrameIPv4 || ipFrameId == FrameIPv6;
    const std::uint16_t type = ipFrameId == FrameIPv4 ? TypeIPv4 : TypeIPv6;
    SetAnalysis(ipFrameId, header, fieldOffset, known ? 2 : 0,
                known ? EtherTypeId(type) : CProtocolId());
    m_sourceAddress = CMACAddr();
    m_destinationAddress = CMACAddr();
}

unsigned char* CLinkHeaderInfo::NewIPFrame(std::int32_t& length, std::int32_t ipFrameId,
                                           std::int32_t header, const unsigned char* payload,
                                           std::int32_t payloadLength) {
    length = 0;
    if (ipFrameId < FrameIPv4 || ipFrameId > FrameOtherIP) {
        return nullptr;
    }
    return NewFrame(length, header, payload, payloadLength);
}

unsigned char* CLinkHeaderInfo::NewFrame(std::int32_t& length, std::int32_t header,
                                         const unsigned char* payload, std::int32_t payloadLength) {
    length = 0;
    if (payloadLength < 0 || (payload == nullptr && payloadLength > 0) ||
        payloadLength > std::numeric_limits<std::int32_t>::max() - header) {
        return nullptr;
    }
    const auto total = static_cast<std::size_t>(header + payloadLength);
    auto* frame = static_cast<unsigned char*>(::operator new(total, std::nothrow));
    if (frame == nullptr) {
        return nullptr;
    }
    std::memset(frame, 0, static_cast<std::size_t>(header));
    if (payloadLength > 0) {
        std::memcpy(frame + header, payload, static_cast<std::size_t>(payloadLength));
    }
    length = header + payloadLength;
    return frame;
}
