#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qndis {

struct NamedLinkProtocol {
    std::string_view name;
    std::uint16_t etherType;
};

// The link protocols known by name, to the filter language and to the
// analyser's options alike.
inline constexpr std::array<NamedLinkProtocol, 6> LinkProtocolNames{{
    {"ip", 0x0800},
    {"arp", 0x0806},
    {"rarp", 0x8035},
    {"ipv6", 0x86DD},
    {"ip6", 0x86DD},
    {"vlan", 0x8100},
}};

// The Ethernet type a name stands for, the name in any case.
constexpr std::optional<std::uint16_t> LinkProtocolByName(std::string_view word) {
    const auto sameLetter = [](char known, char given) {
        return known == (given >= 'A' && given <= 'Z' ? given - 'A' + 'a' : given);
    };
    for (const NamedLinkProtocol& entry : LinkProtocolNames) {
        if (std::ranges::equal(entry.name, word, sameLetter)) {
            return entry.etherType;
        }
    }
    return std::nullopt;
}

} // namespace qndis
