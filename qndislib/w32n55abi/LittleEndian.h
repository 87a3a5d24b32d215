#pragma once

// The records exchanged through the contract, and the library's streams,
// keep integers little-endian and unaligned whatever the host; they are read
// and written byte by byte instead of copying memory images.

#include <cstddef>
#include <cstdint>

namespace w32n55abi {

// `size` bytes, at most 8.
constexpr std::uint64_t ReadLittleEndian(const std::uint8_t* bytes, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= std::uint64_t{bytes[i]} << (8 * i);
    }
    return value;
}

constexpr void WriteLittleEndian(std::uint8_t* bytes, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

template <typename T> constexpr T ReadLittleEndian(const std::uint8_t* bytes) {
    static_assert(sizeof(T) <= sizeof(std::uint64_t));
    return static_cast<T>(ReadLittleEndian(bytes, sizeof(T)));
}

template <typename T> constexpr void WriteLittleEndian(std::uint8_t* bytes, T value) {
    static_assert(sizeof(T) <= sizeof(std::uint64_t));
    WriteLittleEndian(bytes, static_cast<std::uint64_t>(value), sizeof(T));
}

} // namespace w32n55abi
