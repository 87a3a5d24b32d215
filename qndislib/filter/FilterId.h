#pragma once

#include <cstdint>

// The kind of a filter; its value opens every stored filter record.
enum eFilterId : std::int32_t {
    FilterSrcMAC = 1,
    FilterDstMAC = 2,
    FilterProtocol = 3,
    FilterIPSubprotocol = 4,
    FilterIPAddr = 5,
    FilterIPPort = 6,
    FilterCompound = 7,
    FilterContent = 8,
    FilterICMPType = 9,
};
