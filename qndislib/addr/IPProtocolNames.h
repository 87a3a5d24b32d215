#pragma once

#include <array>
#include <cstdint>

namespace qndis {

// The numbers of the IP protocols that the library and its tool handle
// themselves, in IPv4's protocol field and IPv6's next-header field.
namespace ip_protocol {
inline constexpr std::uint8_t ICMP = 1;
inline constexpr std::uint8_t IGMP = 2;
inline constexpr std::uint8_t TCP = 6;
inline constexpr std::uint8_t UDP = 17;
inline constexpr std::uint8_t ICMPv6 = 58;
} // namespace ip_protocol

struct NamedIPProtocol {
    const char* name;
    std::uint8_t number;
};

// The IP protocols known by name, written as the analyser shows them; the
// filter language reads the same names in any case.
inline constexpr std::array<NamedIPProtocol, 4> IPProtocolNames{{
    {"ICMP", ip_protocol::ICMP},
    {"IGMP", ip_protocol::IGMP},
    {"TCP", ip_protocol::TCP},
    {"UDP", ip_protocol::UDP},
}};

} // namespace qndis
