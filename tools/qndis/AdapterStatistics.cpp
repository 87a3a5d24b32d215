#include "tools/qndis/AdapterStatistics.h"

#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/qndislib.h"

#include <array>

namespace qndis::tool {

namespace {

constexpr const char* NotSupported = "not supported";

using LongGetter = std::int32_t (CNDISRequesterProxy::*)();
using QwordGetter = QWORD (CNDISRequesterProxy::*)();

struct LongStatistic {
    const char* label;
    const char* oid;
    LongGetter get;
};

struct QwordStatistic {
    const char* label;
    const char* oid;
    QwordGetter get;
};

using P = CNDISRequesterProxy;

constexpr std::array<LongStatistic, 27> Counters{{
    {"frames transmitted", "OID_GEN_XMIT_OK", &P::GetFramesTransmitted},
    {"frames received", "OID_GEN_RCV_OK", &P::GetFramesReceived},
    {"transmit errors", "OID_GEN_XMIT_ERROR", &P::GetErrorsTransmitted},
    {"receive errors", "OID_GEN_RCV_ERROR", &P::GetErrorsReceived},
    {"frames lost by this capture", "OID_GEN_RCV_NO_BUFFER", &P::GetMissedFrames},
    {"frames the interface dropped", "OID_W32N55_SOFT_MISSED_FRAMES", &P::GetSoftMissedFrames},
    {"directed frames transmitted", "OID_GEN_DIRECTED_FRAMES_XMIT", &P::GetDirectedFramesTrans},
    {"multicast frames transmitted", "OID_GEN_MULTICAST_FRAMES_XMIT", &P::GetMulticastFramesTrans},
    {"broadcast frames transmitted", "OID_GEN_BROADCAST_FRAMES_XMIT", &P::GetBroadcastFramesTrans},
    {"directed frames received", "OID_GEN_DIRECTED_FRAMES_RCV", &P::GetDirectedFramesRecv},
    {"multicast frames received", "OID_GEN_MULTICAST_FRAMES_RCV", &P::GetMulticastFramesRecv},
    {"broadcast frames received", "OID_GEN_BROADCAST_FRAMES_RCV", &P::GetBroadcastFramesRecv},
    {"CRC errors", "OID_GEN_RCV_CRC_ERROR", &P::GetCRCErrors},
    {"alignment errors", "OID_802_3_RCV_ERROR_ALIGNMENT", &P::GetEthernetRcvErrorAlignment},
    {"one collision", "OID_802_3_XMIT_ONE_COLLISION", &P::GetEthernetXmitOneCollision},
    {"more collisions", "OID_802_3_XMIT_MORE_COLLISIONS", &P::GetEthernetXmitMoreCollisions},
    {"deferred transmissions", "OID_802_3_XMIT_DEFERRED", &P::GetEthernetXmitDeferred},
    {"maximum collisions", "OID_802_3_XMIT_MAX_COLLISIONS", &P::GetEthernetXmitMaxCollisions},
    {"receive overruns", "OID_802_3_RCV_OVERRUN", &P::GetEthernetRcvOverrun},
    {"transmit underruns", "OID_802_3_XMIT_UNDERRUN", &P::GetEthernetXmitUnderrun},
    {"heartbeat failures", "OID_802_3_XMIT_HEARTBEAT_FAILURE", &P::GetEthernetXmitHartbeatFailure},
    {"carrier lost", "OID_802_3_XMIT_TIMES_CRS_LOST", &P::GetEthernetXmitCarrierLost},
    {"late collisions", "OID_802_3_XMIT_LATE_COLLISIONS", &P::GetEthernetXmitLateCollisions},
    {"maximum frame size", "OID_GEN_MAXIMUM_FRAME_SIZE", &P::GetMaxFrameSize},
    {"link speed (100 bit/s)", "OID_GEN_LINK_SPEED", &P::GetLinkSpeed},
    {"packet filter", "OID_GEN_CURRENT_PACKET_FILTER", &P::GetCurrentFilter},
    {"maximum total size", "OID_GEN_MAXIMUM_TOTAL_SIZE", &P::GetTotalPacketLength},
}};

constexpr std::array<QwordStatistic, 6> ByteCounters{{
    {"directed bytes transmitted", "OID_GEN_DIRECTED_BYTES_XMIT", &P::GetDirectedBytesTrans},
    {"multicast bytes transmitted", "OID_GEN_MULTICAST_BYTES_XMIT", &P::GetMulticastBytesTrans},
    {"broadcast bytes transmitted", "OID_GEN_BROADCAST_BYTES_XMIT", &P::GetBroadcastBytesTrans},
    {"directed bytes received", "OID_GEN_DIRECTED_BYTES_RCV", &P::GetDirectedBytesRecv},
    {"multicast bytes received", "OID_GEN_MULTICAST_BYTES_RCV", &P::GetMulticastBytesRecv},
    {"broadcast bytes received", "OID_GEN_BROADCAST_BYTES_RCV", &P::GetBroadcastBytesRecv},
}};

// Counters are unsigned on the wire; the signed return type only makes
// room for the failure value, which the status already tells apart.
std::string CounterText(std::int32_t value) {
    return QWORD(static_cast<std::uint32_t>(value)).AsNumber(true);
}

void Line(std::FILE* out, const char* label, const char* oid, const std::string& value) {
    std::fprintf(out, "  %-30s %-34s %s\n", label, oid, value.c_str());
}

std::string MediaText(CMediaType* media, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += (i > 0 ? ", " : "") + std::string(media[i].GetName());
    }
    return text;
}

} // namespace

void PrintStatistics(CNDISRequesterProxy& proxy, std::FILE* out) {
    for (const LongStatistic& statistic : Counters) {
        const std::int32_t value = (proxy.*statistic.get)();
        Line(out, statistic.label, statistic.oid, proxy.IsOk() ? CounterText(value) : NotSupported);
    }
    for (const QwordStatistic& statistic : ByteCounters) {
        const QWORD value = (proxy.*statistic.get)();
        Line(out, statistic.label, statistic.oid,
             proxy.IsOk() ? value.AsNumber(true) + " (" + value.AsData(false) + ")" : NotSupported);
    }
    const std::string speed = proxy.GetLinkSpeedAsString();
    Line(out, "link speed", "OID_GEN_LINK_SPEED", proxy.IsOk() ? speed : NotSupported);
    const char* vendor = proxy.GetVendorInformation();
    Line(out, "vendor description", "OID_GEN_VENDOR_DESCRIPTION",
         proxy.IsOk() ? vendor : NotSupported);
    CPhysicalMediaType physical;
    Line(out, "physical medium", "OID_GEN_PHYSICAL_MEDIUM",
         proxy.GetPhysicalMedium(physical) != 0 ? physical.GetName() : NotSupported);
    std::array<CMediaType, 20> media{};
    const int supported = proxy.GetMediaSupported(media.data(), static_cast<int>(media.size()));
    Line(out, "media supported", "OID_GEN_MEDIA_SUPPORTED",
         proxy.IsOk() ? MediaText(media.data(), supported) : NotSupported);
    const int inUse = proxy.GetMediaInUse(media.data(), static_cast<int>(media.size()));
    Line(out, "media in use", "OID_GEN_MEDIA_IN_USE",
         proxy.IsOk() ? MediaText(media.data(), inUse) : NotSupported);
}

std::string BriefStatistics(CNDISRequesterProxy& proxy) {
    std::string text;
    // The first rows of the table are the frame counters; the capture's own
    // losses among them are not the interface's.
    constexpr std::size_t FrameCounters = 6;
    for (std::size_t i = 0; i < FrameCounters; ++i) {
        if (Counters[i].get == &P::GetMissedFrames) {
            continue;
        }
        const std::int32_t value = (proxy.*Counters[i].get)();
        text += (text.empty() ? "" : ", ") + std::string(Counters[i].label) + " " +
                (proxy.IsOk() ? CounterText(value) : NotSupported);
    }
    return text;
}

} // namespace qndis::tool
