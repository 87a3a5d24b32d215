#pragma once

#include "qndislib/Export.h"
#include "qndislib/media/LinkHeaderInfo.h"

#include <cstdint>

// The four-byte address-family header of BSD loopback captures, in the
// writing host's byte order (null link) or in network order (loop link).
// The family stands in for the protocol identifier (0800 or 86DD); there
// are no link addresses. Frame-type ids: 1 "Loopback IPv4", 2 "Loopback
// IPv6", 3 "Loopback other" (any other family; the identifier is all zero).
class QNDIS_API CLoopbackInfo : public CLinkHeaderInfo {
public:
    enum ByteOrder { HostOrder, NetworkOrder };

    explicit CLoopbackInfo(ByteOrder order = HostOrder);

    CMediaInfo* Clone() const override;
    // Host order is written little-endian, the order of most such hosts.
    unsigned char* CreateFrame(std::int32_t& length, std::int32_t frameType,
                               const unsigned char* payload, std::int32_t payloadLength,
                               CMACAddr source, CMACAddr destination,
                               CProtocolId protocol) override;

protected:
    std::int32_t Classify(const unsigned char* frame) const override;
    void Analyse(const unsigned char* frame) override;

private:
    std::uint32_t ReadFamily(const unsigned char* frame) const;

    static const CFrameInfo LoopbackFrames[3];

    ByteOrder m_order;
};
