#pragma once

// Stream integers are little-endian whatever the host; these helpers write
// and read them byte by byte instead of copying memory images.

#include "qndislib/ktools/MemoryBuffer.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace ktools::le {

template <typename T> void Write(CMemoryBuffer& buffer, T value) {
    static_assert(sizeof(T) <= 4);
    const auto bits = static_cast<std::uint32_t>(value);
    std::array<unsigned char, sizeof(T)> bytes{};
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
    buffer.Write(bytes.data(), sizeof(T));
}

template <typename T> T Read(CMemoryBuffer& buffer) {
    static_assert(sizeof(T) <= 4);
    std::array<unsigned char, sizeof(T)> bytes{};
    buffer.Read(bytes.data(), sizeof(T));
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bits |= std::uint32_t{bytes[i]} << (8 * i);
    }
    return static_cast<T>(bits);
}

} // namespace ktools::le
