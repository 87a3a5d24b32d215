#include "tests/qndis/TestFrames.h"

#include "qndislib/qndislib.h"

#include <memory>
#include <new>

namespace qndis::test {

std::vector<unsigned char> Ipv4Packet(std::uint8_t protocol, std::uint8_t source,
                                      std::uint8_t destination, std::uint16_t first,
                                      std::uint16_t second) {
    std::vector<unsigned char> packet(20 + 8 + 18, 0);
    packet[0] = 0x45;
    packet[3] = static_cast<unsigned char>(packet.size());
    packet[8] = 64;
    packet[9] = protocol;
    const std::array<unsigned char, 4> from{10, 0, 0, source};
    const std::array<unsigned char, 4> to{10, 0, 0, destination};
    std::copy(from.begin(), from.end(), packet.begin() + 12);
    std::copy(to.begin(), to.end(), packet.begin() + 16);
    if (protocol == Icmp) {
        packet[20] = static_cast<unsigned char>(first);
        packet[21] = static_cast<unsigned char>(second);
    } else {
        packet[20] = static_cast<unsigned char>(first >> 8);
        packet[21] = static_cast<unsigned char>(first);
        packet[22] = static_cast<unsigned char>(second >> 8);
        packet[23] = static_cast<unsigned char>(second);
    }
    return packet;
}

std::vector<unsigned char> EthernetFrame(int type, const std::string& protocolId,
                                         const std::vector<unsigned char>& payload,
                                         std::uint8_t source, std::uint8_t destination) {
    const std::array<unsigned char, 6> from{2, 0, 0, 0, 0, source};
    const std::array<unsigned char, 6> to{2, 0, 0, 0, 0, destination};
    CEthernetInfo ethernet;
    std::int32_t length = 0;
    struct Release {
        void operator()(unsigned char* bytes) const { ::operator delete(bytes); }
    };
    const std::unique_ptr<unsigned char, Release> bytes(ethernet.CreateFrame(
        length, type, payload.data(), static_cast<std::int32_t>(payload.size()),
        CMACAddr(from.data()), CMACAddr(to.data()), CProtocolId(protocolId.c_str())));
    if (!bytes) {
        return {};
    }
    return std::vector<unsigned char>(bytes.get(), bytes.get() + length);
}

} // namespace qndis::test
