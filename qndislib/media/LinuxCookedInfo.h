#pragma once

#include "qndislib/Export.h"
#include "qndislib/media/LinkHeaderInfo.h"

#include <cstddef>
#include <cstdint>

// The pseudo-header that a capture on all interfaces at once puts before
// each packet, in its two versions: 16 bytes (packet type, hardware type,
// address length, eight address bytes, protocol) or 20 bytes (protocol,
// interface index, hardware type, packet type, address length, address).
// It holds the sender's address only; the destination reads as all zero.
//
// Frame-type ids: 1 "Linux cooked" (an Ethernet type), 2 "Linux cooked
// 802.2" (an LLC header follows; the identifier is its DSAP), 3 "Linux
// cooked other" (a protocol number below the Ethernet types, kept as the
// identifier).
class QNDIS_API CLinuxCookedInfo : public CLinkHeaderInfo {
public:
    enum Version { Version1 = 1, Version2 = 2 };

    explicit CLinuxCookedInfo(Version version = Version1);

    CMediaInfo* Clone() const override;
    // Writes packet type "sent by us", hardware type Ethernet and the source.
    unsigned char* CreateFrame(std::int32_t& length, std::int32_t frameType,
                               const unsigned char* payload, std::int32_t payloadLength,
                               CMACAddr source, CMACAddr destination,
                               CProtocolId protocol) override;
    bool IsBroadcast() const override;
    // Broadcasts count, as the group bit of an Ethernet destination does.
    bool IsMulticast() const override;

protected:
    std::int32_t Classify(const unsigned char* frame) const override;
    void Analyse(const unsigned char* frame) override;

private:
    static const CFrameInfo CookedFrames[3];

    Version m_version;
    // Of the last analysed frame: 0 to us, 1 broadcast, 2 multicast, 3 to
    // another host, 4 sent by us.
    int m_packetType = 0;
};
