#pragma once

#include <pcap/pcap.h>

namespace w32n55 {

// A libpcap handler whose user argument is a FrameSink; the capture runs
// with nanosecond precision.
void DeliverPcapFrame(u_char* sink, const pcap_pkthdr* header, const u_char* bytes);

} // namespace w32n55
