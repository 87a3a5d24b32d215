#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qndis::test {

inline constexpr std::uint8_t Icmp = 1;
inline constexpr std::uint8_t Tcp = 6;
inline constexpr std::uint8_t Udp = 17;

// An IPv4 packet (20-byte header) from 10.0.0.S to 10.0.0.D with a
// transport header: ports for TCP and UDP, type and code for ICMP.
std::vector<unsigned char> Ipv4Packet(std::uint8_t protocol, std::uint8_t source,
                                      std::uint8_t destination, std::uint16_t first,
                                      std::uint16_t second);

// A frame of Ethernet frame type `type` built by the library around
// `payload`, from 02:00:00:00:00:SS to 02:00:00:00:00:DD.
std::vector<unsigned char> EthernetFrame(int type, const std::string& protocolId,
                                         const std::vector<unsigned char>& payload,
                                         std::uint8_t source, std::uint8_t destination);

} // namespace qndis::test
