#pragma once

#include "qndislib/w32n55abi/W32N55.h"

#include <cstdint>
#include <pcap/pcap.h>

namespace w32n55 {

// One place for the capture parameters, so that the capture harness can run a
// plain libpcap reader with exactly the settings the adapters use.
struct CaptureSettings {
    // The receive record holds at most this many frame bytes.
    static constexpr int kSnapLength = 2000;
    static_assert(kSnapLength == w32n55abi::receive_record::kDataCapacity);
    // Large enough to absorb a scheduling hiccup of some tens of milliseconds
    // at line rate on a veth pair without drops.
    static constexpr int kRingBytes = 16 * 1024 * 1024;
    // Buffered delivery: a ring block is handed over when full or after this
    // long, which bounds the delay a quiet link adds to a frame.
    static constexpr int kBlockTimeoutMs = 5;

    // Before pcap_activate. The adapters leave promiscuous mode to the packet
    // filter and take it off the socket; a plain reader may want it on.
    static void Apply(pcap_t* capture, bool promiscuous) {
        pcap_set_snaplen(capture, kSnapLength);
        pcap_set_promisc(capture, promiscuous ? 1 : 0);
        pcap_set_timeout(capture, kBlockTimeoutMs);
        pcap_set_immediate_mode(capture, 0);
        pcap_set_buffer_size(capture, kRingBytes);
        pcap_set_tstamp_precision(capture, PCAP_TSTAMP_PRECISION_NANO);
    }
};

} // namespace w32n55
