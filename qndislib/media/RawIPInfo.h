#pragma once

#include "qndislib/Export.h"
#include "qndislib/media/LinkHeaderInfo.h"

#include <cstdint>

// Packets without any link header: the data starts with the IP header, and
// its version field stands in for the protocol identifier (0800 or 86DD).
// There are no link addresses. Frame-type ids: 1 "Raw IPv4", 2 "Raw IPv6",
// 3 "Raw IP other" (another version; the identifier is all zero).
class QNDIS_API CRawIPInfo : public CLinkHeaderInfo {
public:
    CRawIPInfo();

    CMediaInfo* Clone() const override;
    // The payload is the packet; the frame type and addresses are not written.
    unsigned char* CreateFrame(std::int32_t& length, std::int32_t frameType,
                               const unsigned char* payload, std::int32_t payloadLength,
                               CMACAddr source, CMACAddr destination,
                               CProtocolId protocol) override;

protected:
    std::int32_t Classify(const unsigned char* frame) const override;
    void Analyse(const unsigned char* frame) override;

private:
    static const CFrameInfo RawFrames[3];
};
