#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qndis::detail {

// Values outside a name table, the default -1 among them, have no name of
// their own.
inline const char* LookupName(std::span<const char* const> table, std::uint32_t value) {
    return value < table.size() ? table[value] : "Unknown";
}

} // namespace qndis::detail
