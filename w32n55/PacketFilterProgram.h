#pragma once

#include "w32n55/SysfsInterface.h"

#include <cstdint>
#include <pcap/bpf.h>
#include <vector>

namespace w32n55 {

// The NDIS packet-filter bits an adapter honours.
struct PacketType {
    static constexpr std::uint32_t kDirected = 0x01;
    static constexpr std::uint32_t kMulticast = 0x02;
    static constexpr std::uint32_t kAllMulticast = 0x04;
    static constexpr std::uint32_t kBroadcast = 0x08;
    static constexpr std::uint32_t kPromiscuous = 0x20;
    static constexpr std::uint32_t kAllLocal = 0x80;
    static constexpr std::uint32_t kSupported =
        kDirected | kMulticast | kAllMulticast | kBroadcast | kPromiscuous | kAllLocal;
};

// A kernel socket filter that passes what an NDIS packet filter passes, by
// the destination address of an Ethernet frame.
class PacketFilterProgram {
public:
    // `ethernet` false: the frames carry no destination address, so any
    // nonzero filter passes everything.
    PacketFilterProgram(std::uint32_t ndisFilter, const MacBytes& station, bool ethernet,
                        std::uint32_t snapLength);

    bpf_program Program() { return bpf_program{static_cast<u_int>(code_.size()), code_.data()}; }

private:
    void BuildByDestination(std::uint32_t ndisFilter, const MacBytes& station,
                            std::uint32_t accept);

    std::vector<bpf_insn> code_;
};

} // namespace w32n55
