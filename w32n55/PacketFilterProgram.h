#pragma once

#include "qndislib/w32n55abi/W32N55.h"
#include "w32n55/SysfsInterface.h"

#include <cstdint>
#include <pcap/bpf.h>
#include <span>
#include <vector>

namespace w32n55 {

// The NDIS packet-filter bits an adapter honours.
inline constexpr std::uint32_t kSupportedPacketTypes =
    NDIS_PACKET_TYPE_DIRECTED | NDIS_PACKET_TYPE_MULTICAST | NDIS_PACKET_TYPE_ALL_MULTICAST |
    NDIS_PACKET_TYPE_BROADCAST | NDIS_PACKET_TYPE_PROMISCUOUS | NDIS_PACKET_TYPE_ALL_LOCAL;

// A kernel socket filter that passes what an NDIS packet filter passes, by
// the destination address of an Ethernet frame.
class PacketFilterProgram {
public:
    // `ethernet` false: the frames carry no destination address, so any
    // nonzero filter passes everything.
    PacketFilterProgram(std::uint32_t ndisFilter, const MacBytes& station, bool ethernet,
                        std::uint32_t snapLength);

    bpf_program Program() { return bpf_program{static_cast<u_int>(code_.size()), code_.data()}; }

    // This program, where a frame it passes goes on to `next` instead,
    // whose passing returns give `accept`. The kernel holds a received
    // frame's outer VLAN tag apart from its bytes, so `next`, which reads
    // frames as they were on the wire, would misread a tagged one: such
    // frames pass without it.
    std::vector<bpf_insn> FollowedBy(std::span<const bpf_insn> next, std::uint32_t accept) const;

private:
    void BuildByDestination(std::uint32_t ndisFilter, const MacBytes& station,
                            std::uint32_t accept);

    std::vector<bpf_insn> code_;
};

} // namespace w32n55
