#include "w32n55/OidCatalog.h"

#include "w32n55/Oids.h"

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
    Entry{Oid::kGenMediaSupported, {}},
    Entry{Oid::kGenMediaInUse, {}},
    Entry{Oid::kGenMaximumFrameSize, {}},
    Entry{Oid::kGenLinkSpeed, {}},
    Entry{Oid::kGenVendorDescription, {}},
    Entry{Oid::kGenCurrentPacketFilter, {}},
    Entry{Oid::kGenMaximumTotalSize, {}},
    Entry{Oid::kGenPhysicalMedium, {}},
    Entry{Oid::kGenXmitOk, "tx_packets"},
    Entry{Oid::kGenRcvOk, "rx_packets"},
    Entry{Oid::kGenXmitError, "tx_errors"},
    Entry{Oid::kGenRcvError, "rx_errors"},
    Entry{Oid::kGenRcvNoBuffer, {}},
    Entry{Oid::kGenDirectedBytesXmit, {}},
    Entry{Oid::kGenDirectedFramesXmit, {}},
    Entry{Oid::kGenMulticastBytesXmit, {}},
    Entry{Oid::kGenMulticastFramesXmit, {}},
    Entry{Oid::kGenBroadcastBytesXmit, {}},
    Entry{Oid::kGenBroadcastFramesXmit, {}},
    Entry{Oid::kGenDirectedBytesRcv, {}},
    Entry{Oid::kGenDirectedFramesRcv, {}},
    Entry{Oid::kGenMulticastBytesRcv, {}},
    Entry{Oid::kGenMulticastFramesRcv, "multicast"},
    Entry{Oid::kGenBroadcastBytesRcv, {}},
    Entry{Oid::kGenBroadcastFramesRcv, {}},
    Entry{Oid::kGenRcvCrcError, "rx_crc_errors"},
    Entry{Oid::k8023PermanentAddress, {}},
    Entry{Oid::k8023CurrentAddress, {}},
    Entry{Oid::k8023RcvErrorAlignment, "rx_frame_errors"},
    Entry{Oid::k8023XmitOneCollision, {}},
    Entry{Oid::k8023XmitMoreCollisions, {}},
    Entry{Oid::k8023XmitDeferred, {}},
    Entry{Oid::k8023XmitMaxCollisions, "tx_aborted_errors"},
    Entry{Oid::k8023RcvOverrun, "rx_fifo_errors"},
    Entry{Oid::k8023XmitUnderrun, "tx_fifo_errors"},
    Entry{Oid::k8023XmitHeartbeatFailure, "tx_heartbeat_errors"},
    Entry{Oid::k8023XmitTimesCrsLost, "tx_carrier_errors"},
    Entry{Oid::k8023XmitLateCollisions, "tx_window_errors"},
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
