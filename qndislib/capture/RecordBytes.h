#pragma once

// Fields of the records exchanged with the driver-access library are
// little-endian and unaligned; they are read and written byte by byte.

#include <cstddef>
#include <cstdint>

namespace qndis::record {

template <typename T> T ReadLittleEndian(const unsigned char* bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value |= std::uint64_t{bytes[i]} << (8 * i);
    }
    return static_cast<T>(value);
}

template <typename T> void WriteLittleEndian(unsigned char* bytes, T value) {
    const auto bits = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

} // namespace qndis::record
