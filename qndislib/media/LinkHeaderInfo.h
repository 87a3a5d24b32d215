#pragma once

#include "qndislib/Export.h"
#include "qndislib/media/MediaInfo.h"

#include <cstddef>
#include <cstdint>

// Common ground of the media whose link header has a fixed size and names
// the protocol of the data behind it (cooked capture, raw IP, loopback):
// the length-aware forms, frame allocation, and the protocol identifier,
// which is always given as the Ethernet type the header stands for, so
// filters written for Ethernet frames test these frames unchanged.
class QNDIS_API CLinkHeaderInfo : public CMediaInfo {
public:
    // The frame-type ids of the media whose header only says IP version 4,
    // IP version 6 or something else.
    enum IPFrameId : std::int32_t { FrameIPv4 = 1, FrameIPv6 = 2, FrameOtherIP = 3 };

    // The most bytes any such medium's analysis reads.
    static constexpr std::size_t MaxAnalysedBytes = 32;

    bool CheckFrameId(const unsigned char* frame, std::int32_t id) const override;
    bool CheckFrameId(const unsigned char* frame, std::size_t length,
                      std::int32_t id) const override;
    // Needs as many readable bytes at `frame` as the medium analyses.
    void AnalyzeFrame(const unsigned char* frame) override;
    void AnalyzeFrame(const unsigned char* frame, std::size_t length) override;
    int GetOverhead() const override { return 0; }
    // Without link addresses a frame is neither; a medium with them says.
    bool IsBroadcast() const override { return false; }
    bool IsMulticast() const override { return false; }

protected:
    CLinkHeaderInfo(const char* name, const char* shorthand, const CFrameInfo* frames,
                    std::int32_t frameCount, std::size_t analysedBytes);

    // Both read at most the analysed bytes of `frame`.
    virtual std::int32_t Classify(const unsigned char* frame) const = 0;
    virtual void Analyse(const unsigned char* frame) = 0;

    // The identifier of an Ethernet type; type 0 gives the all-zero one.
    static CProtocolId EtherTypeId(std::uint16_t etherType);
    // The whole analysis state but the addresses: idOffset and idLength say
    // which header field the identifier was read from.
    void SetAnalysis(std::int32_t frameType, int header, int idOffset, int idLength,
                     const CProtocolId& id);

    // The analysis of a medium whose header only tells IP version 4, IP
    // version 6 and others apart: no link addresses, and the identifier 0800,
    // 86DD or all zero. The header holds no such field, so the identifier's
    // length is that of an Ethernet type (0 for others) and its offset that
    // of the field it is derived from.
    void SetIPAnalysis(std::int32_t ipFrameId, int header, int fieldOffset);
    // NewFrame for such a medium; null for an id outside the three.
    static unsigned char* NewIPFrame(std::int32_t& length, std::int32_t ipFrameId,
                                     std::int32_t header, const unsigned char* payload,
                                     std::int32_t payloadLength);

    // A frame of `header` zero bytes and the payload behind them, from the
    // global operator new; null (and length 0) for a bad payload or no memory.
    static unsigned char* NewFrame(std::int32_t& length, std::int32_t header,
                                   const unsigned char* payload, std::int32_t payloadLength);

private:
    std::size_t m_analysedBytes;
};
