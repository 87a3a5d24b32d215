#include "w32n55/OidCatalog.h"

#include "qndislib/w32n55abi/W32N55.h"

#include <algorithm>
#include <array>

namespace w32n55 {
namespace {

struct Entry {
    std::uint32_t oid;
    // Empty for an OID that is answered otherwise, or has no counterpart.
    std::string_view statistic;
};

// The kernel keeps one collision counter, no deferral counter, and counts
// bytes and frames per destination kind only for received multicast frames,
// so the other counters of those kinds have no counterpart.
constexpr std::array kCatalog = {
    Entry{OID_GEN_MEDIA_SUPPORTED, {}},
    Entry{OID_GEN_MEDIA_IN_USE, {}},
    Entry{OID_GEN_MAXIMUM_FRAME_SIZE, {}},
    Entry{OID_GEN_LINK_SPEED, {}},
    Entry{OID_GEN_VENDOR_DESCRIPTION, {}},
    Entry{OID_GEN_CURRENT_PACKET_FILTER, {}},
    Entry{OID_GEN_MAXIMUM_TOTAL_SIZE, {}},
    Entry{OID_GEN_PHYSICAL_MEDIUM, {}},
    Entry{OID_GEN_XMIT_OK, "tx_packets"},
    Entry{OID_GEN_RCV_OK, "rx_packets"},
    Entry{OID_GEN_XMIT_ERROR, "tx_errors"},
    Entry{OID_GEN_RCV_ERROR, "rx_errors"},
    Entry{OID_GEN_RCV_NO_BUFFER, {}},
    Entry{OID_GEN_DIRECTED_BYTES_XMIT, {}},
    Entry{OID_GEN_DIRECTED_FRAMES_XMIT, {}},
    Entry{OID_GEN_MULTICAST_BYTES_XMIT, {}},
    Entry{OID_GEN_MULTICAST_FRAMES_XMIT, {}},
    Entry{OID_GEN_BROADCAST_BYTES_XMIT, {}},
    Entry{OID_GEN_BROADCAST_FRAMES_XMIT, {}},
    Entry{OID_GEN_DIRECTED_BYTES_RCV, {}},
    Entry{OID_GEN_DIRECTED_FRAMES_RCV, {}},
    Entry{OID_GEN_MULTICAST_BYTES_RCV, {}},
    Entry{OID_GEN_MULTICAST_FRAMES_RCV, "multicast"},
    Entry{OID_GEN_BROADCAST_BYTES_RCV, {}},
    Entry{OID_GEN_BROADCAST_FRAMES_RCV, {}},
    Entry{OID_GEN_RCV_CRC_ERROR, "rx_crc_errors"},
    Entry{OID_802_3_PERMANENT_ADDRESS, {}},
    Entry{OID_802_3_CURRENT_ADDRESS, {}},
    Entry{OID_802_3_RCV_ERROR_ALIGNMENT, "rx_frame_errors"},
    Entry{OID_802_3_XMIT_ONE_COLLISION, {}},
    Entry{OID_802_3_XMIT_MORE_COLLISIONS, {}},
    Entry{OID_802_3_XMIT_DEFERRED, {}},
    Entry{OID_802_3_XMIT_MAX_COLLISIONS, "tx_aborted_errors"},
    Entry{OID_802_3_RCV_OVERRUN, "rx_fifo_errors"},
    Entry{OID_802_3_XMIT_UNDERRUN, "tx_fifo_errors"},
    Entry{OID_802_3_XMIT_HEARTBEAT_FAILURE, "tx_heartbeat_errors"},
    Entry{OID_802_3_XMIT_TIMES_CRS_LOST, "tx_carrier_errors"},
    Entry{OID_802_3_XMIT_LATE_COLLISIONS, "tx_window_errors"},
};

const Entry* Find(std::uint32_t oid) {
    const auto found = std::find_if(kCatalog.begin(), kCatalog.end(),
                                    [oid](const Entry& e) { return e.oid == oid; });
    return found != kCatalog.end() ? &*found : nullptr;
}

} // namespace

bool OidCatalog::IsKnown(std::uint32_t oid) {
    return Find(oid) != nullptr;
}

std::optional<std::string_view> OidCatalog::KernelStatistic(std::uint32_t oid) {
    const Entry* entry = Find(oid);
    if (entry == nullptr || entry->statistic.empty()) {
        return std::nullopt;
    }
    return entry->statistic;
}

} // namespace w32n55
