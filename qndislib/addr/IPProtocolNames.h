#pragma once

#include <array>
#include <cstdint>

namespace qndis {

struct NamedIPProtocol {
    const char* name;
    std::uint8_t number;
};

// The IP protocols known by name, written as the analyser shows them; the
// filter language reads the same names in any case.
inline constexpr std::array<NamedIPProtocol, 4> IPProtocolNames{{
    {"ICMP", 1},
    {"IGMP", 2},
    {"TCP", 6},
    {"UDP", 17},
}};

} // namespace qndis
