#pragma once

#include "qndislib/Export.h"
#include "qndislib/media/MediaInfo.h"

#include <cstddef>
#include <cstdint>

// The Ethernet medium: classifies a frame into one of seven encapsulations,
// fills the analysis state and builds frames of each encapsulation.
//
// Frame-type ids: 1 "Ethernet 802.3" (raw, data starts FF FF), 2 "Ethernet
// II", 3 "Ethernet SNAP", 4 "Ethernet 802.2 type I", 5 "Ethernet 802.2 type
// II", 6 "Ethernet 802.1q", 7 "Ethernet 802.1q (SNAP)".
class QNDIS_API CEthernetInfo : public CMediaInfo {
public:
    // The one-argument analysis reads at most this many bytes (a tagged SNAP
    // frame with the longest routing field).
    static constexpr std::size_t MaxAnalysedBytes = 62;

    CEthernetInfo();
    CEthernetInfo(const CEthernetInfo& other);
    CEthernetInfo& operator=(const CEthernetInfo& other);
    ~CEthernetInfo() override;

    bool CheckFrameId(const unsigned char* frame, std::int32_t id) const override;
    bool CheckFrameId(const unsigned char* frame, std::size_t length,
                      std::int32_t id) const override;
    CMediaInfo* Clone() const override;
    unsigned char* CreateFrame(std::int32_t& length, std::int32_t frameType,
                               const unsigned char* payload, std::int32_t payloadLength,
                               CMACAddr source, CMACAddr destination,
                               CProtocolId protocol) override;
    // Needs MaxAnalysedBytes readable bytes at `frame`.
    void AnalyzeFrame(const unsigned char* frame) override;
    void AnalyzeFrame(const unsigned char* frame, std::size_t length) override;
    bool IsBroadcast() const override;
    bool IsMulticast() const override;
    int GetOverhead() const override;

    bool IsVLANFrame() const { return m_frameType == 6 || m_frameType == 7; }

    // The VLAN field holds the 16-bit tag control of the last analysed
    // tagged frame (types 6 and 7) and 0 after any other frame. GetVLANId
    // keeps its traditional shape, the field shifted right by eight bits (the
    // first tag byte: priority, canonical-format bit and the top four bits of
    // the VLAN number); the three accessors after it give the usual parts.
    int GetVLANId() const { return m_vlan >> 8; }
    std::uint16_t GetTagControl() const { return m_vlan; }
    int GetVLANPriority() const { return m_vlan >> 13; }
    int GetVLANIdentifier() const { return m_vlan & 0x0FFF; }

    // The tag control CreateFrame writes into tagged frames (types 6 and 7);
    // priority 0 and VLAN 1 until set.
    void SetBuiltTagControl(std::uint16_t tagControl) { m_builtTagControl = tagControl; }

private:
    static std::int32_t GetFrameId(const unsigned char* frame);

    static const CFrameInfo EthernetFrames[7];

    std::uint16_t m_vlan = 0;
    std::uint16_t m_builtTagControl = 0x0001;
};
