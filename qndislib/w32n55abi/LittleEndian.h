#pragma once

// The records exchanged through the contract, and the library's streams,
// keep integers little-endian and unaligned whatever the host. The byte loop
// defines the layout; on a little-endian host the typed forms copy the
// memory image instead, one unaligned load or store per field on the
// per-frame path, where the compiler does not fold the loop into one.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

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

template <typename T>
inline constexpr bool
    kImageIsLittleEndian = (std::endian::native == std::endian::little) && std::is_integral_v<T> &&
                           !std::is_same_v<T, bool>;

template <typename T> constexpr T ReadLittleEndian(const std::uint8_t* bytes) {
    static_assert(sizeof(T) <= sizeof(std::uint64_t));
    if constexpr (kImageIsLittleEndian<T>) {
        if (!std::is_constant_evaluated()) {
            T value;
            std::memcpy(&value, bytes, sizeof value);
            return value;
        }
    }
    return static_cast<T>(ReadLittleEndian(bytes, sizeof(T)));
}

template <typename T> constexpr void WriteLittleEndian(std::uint8_t* bytes, T value) {
    static_assert(sizeof(T) <= sizeof(std::uint64_t));
    if constexpr (kImageIsLittleEndian<T>) {
        if (!std::is_constant_evaluated()) {
            std::memcpy(bytes, &value, sizeof value);
            return;
        }
    }
    WriteLittleEndian(bytes, static_cast<std::uint64_t>(value), sizeof(T));
}

} // namespace w32n55abi
