#include "w32n55/PacketFilterProgram.h"

#include <linux/filter.h>

namespace w32n55 {
namespace {

constexpr bpf_insn Statement(std::uint16_t code, std::uint32_t k) {
    return bpf_insn{code, 0, 0, k};
}

constexpr bpf_insn Jump(std::uint16_t code, std::uint32_t k, std::uint8_t jt, std::uint8_t jf) {
    return bpf_insn{code, jt, jf, k};
}

constexpr std::uint32_t Word(const MacBytes& a) {
    return static_cast<std::uint32_t>(a[0]) << 24 | static_cast<std::uint32_t>(a[1]) << 16 |
           static_cast<std::uint32_t>(a[2]) << 8 | a[3];
}

constexpr std::uint32_t Half(const MacBytes& a) {
    return static_cast<std::uint32_t>(a[4]) << 8 | a[5];
}

} // namespace

PacketFilterProgram::PacketFilterProgram(std::uint32_t ndisFilter, const MacBytes& station,
                                         bool ethernet, std::uint32_t snapLength) {
    if ((ndisFilter & NDIS_PACKET_TYPE_ALL_LOCAL) != 0) {
        ndisFilter |=
            NDIS_PACKET_TYPE_DIRECTED | NDIS_PACKET_TYPE_ALL_MULTICAST | NDIS_PACKET_TYPE_BROADCAST;
    }
    const bool passAll = (ndisFilter & NDIS_PACKET_TYPE_PROMISCUOUS) != 0 ||
                         (!ethernet && (ndisFilter & kSupportedPacketTypes) != 0);
    if (passAll) {
        code_ = {Statement(BPF_RET | BPF_K, snapLength)};
    } else if ((ndisFilter & kSupportedPacketTypes) == 0) {
        code_ = {Statement(BPF_RET | BPF_K, 0)};
    } else {
        BuildByDestination(ndisFilter, station, snapLength);
    }
}

void PacketFilterProgram::BuildByDestination(std::uint32_t ndisFilter, const MacBytes& station,
                                             std::uint32_t accept) {
    // The interface's own multicast filter already limits group frames to the
    // groups it joined, so a multicast list adds nothing a socket could check.
    const bool multicast =
        (ndisFilter & (NDIS_PACKET_TYPE_MULTICAST | NDIS_PACKET_TYPE_ALL_MULTICAST)) != 0;
    const std::uint32_t directedResult = (ndisFilter & NDIS_PACKET_TYPE_DIRECTED) ? accept : 0;
    const std::uint32_t multicastResult = multicast ? accept : 0;
    const std::uint32_t broadcastResult = (ndisFilter & NDIS_PACKET_TYPE_BROADCAST) ? accept : 0;
    const MacBytes broadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

    // Jump offsets count the instructions skipped; the listing's index is
    // given on the right.
    code_ = {
        Statement(BPF_LD | BPF_B | BPF_ABS, 0),                 // 0: first destination byte
        Jump(BPF_JMP | BPF_JSET | BPF_K, 0x01, 0, 5),           // 1: group bit? else 7
        Statement(BPF_LD | BPF_W | BPF_ABS, 0),                 // 2
        Jump(BPF_JMP | BPF_JEQ | BPF_K, Word(broadcast), 0, 2), // 3: else 6
        Statement(BPF_LD | BPF_H | BPF_ABS, 4),                 // 4
        Jump(BPF_JMP | BPF_JEQ | BPF_K, Half(broadcast), 5, 0), // 5: broadcast -> 11
        Statement(BPF_RET | BPF_K, multicastResult),            // 6
        Statement(BPF_LD | BPF_W | BPF_ABS, 0),                 // 7
        Jump(BPF_JMP | BPF_JEQ | BPF_K, Word(station), 0, 4),   // 8: else 13
        Statement(BPF_LD | BPF_H | BPF_ABS, 4),                 // 9
        Jump(BPF_JMP | BPF_JEQ | BPF_K, Half(station), 1, 2),   // 10: -> 12 / 13
        Statement(BPF_RET | BPF_K, broadcastResult),            // 11
        Statement(BPF_RET | BPF_K, directedResult),             // 12
        Statement(BPF_RET | BPF_K, 0),                          // 13
    };
}

std::vector<bpf_insn> PacketFilterProgram::FollowedBy(std::span<const bpf_insn> next,
                                                      std::uint32_t accept) const {
    const bpf_insn tagged[] = {
        Statement(BPF_LD | BPF_B | BPF_ABS,
                  static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_VLAN_TAG_PRESENT)),
        Jump(BPF_JMP | BPF_JEQ | BPF_K, 0, 1, 0),
        Statement(BPF_RET | BPF_K, accept),
    };
    std::vector<bpf_insn> combined(code_.begin(), code_.end());
    const std::size_t start = combined.size();
    for (std::size_t i = 0; i < start; ++i) {
        bpf_insn& instruction = combined[i];
        if (instruction.code == (BPF_RET | BPF_K) && instruction.k != 0) {
            instruction = Statement(BPF_JMP | BPF_JA, static_cast<std::uint32_t>(start - i - 1));
        }
    }
    combined.insert(combined.end(), std::begin(tagged), std::end(tagged));
    for (bpf_insn instruction : next) {
        if (BPF_CLASS(instruction.code) == BPF_RET && instruction.k != 0) {
            instruction.k = accept;
        }
        combined.push_back(instruction);
    }
    return combined;
}

} // namespace w32n55
