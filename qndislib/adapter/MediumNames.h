#pragma once

#include <cstdint>
#include <span>

namespace qndis::detail {

// The display and short names of one NDIS medium enumeration, row by value.
// Values outside the rows, the default -1 among them, have no name of their
// own.
class MediumNames {
public:
    constexpr MediumNames(std::span<const char* const> names,
                          std::span<const char* const> shortNames)
        : m_names(names), m_shortNames(shortNames) {}

    const char* Name(std::uint32_t value) const { return Lookup(m_names, value); }
    const char* ShortName(std::uint32_t value) const { return Lookup(m_shortNames, value); }

private:
    static const char* Lookup(std::span<const char* const> table, std::uint32_t value) {
        return value < table.size() ? table[value] : "Unknown";
    }

    std::span<const char* const> m_names;
    std::span<const char* const> m_shortNames;
};

} // namespace qndis::detail
