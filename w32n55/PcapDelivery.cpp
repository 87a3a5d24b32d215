#include "w32n55/PcapDelivery.h"

#include "w32n55/Adapter.h"

namespace w32n55 {

void DeliverPcapFrame(u_char* sink, const pcap_pkthdr* header, const u_char* bytes) {
    constexpr std::uint64_t kNanosecondsPerSecond = 1000000000;
    // With nanosecond precision the microseconds field holds nanoseconds.
    const std::uint64_t ns = static_cast<std::uint64_t>(header->ts.tv_sec) * kNanosecondsPerSecond +
                             static_cast<std::uint64_t>(header->ts.tv_usec);
    reinterpret_cast<FrameSink*>(sink)->Deliver({bytes, header->caplen, header->len, ns});
}

} // namespace w32n55
