#pragma once

#include "qndislib/addr/RevAddr.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qndis::detail {

// Runs `analyse` on `frame` when it has at least `needed` readable bytes, or
// else on a zero-padded copy of it, so an analysis that reads a fixed number
// of bytes never reads past a short frame. `needed` is at most Capacity.
template <std::size_t Capacity, class Analyse>
void WithReadableBytes(const unsigned char* frame, std::size_t length, std::size_t needed,
                       Analyse analyse) {
    if (frame != nullptr && length >= needed) {
        analyse(frame);
        return;
    }
    std::array<unsigned char, Capacity> padded{};
    if (frame != nullptr && length > 0) {
        std::memcpy(padded.data(), frame, length < Capacity ? length : Capacity);
    }
    analyse(padded.data());
}

// Link-header fields in network order; the caller has checked the bytes exist.
constexpr std::uint16_t ReadBig16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(unsigned{bytes[0]} << 8 | bytes[1]);
}

constexpr std::uint32_t ReadBig32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// The address type's byte reversal, which frame building shares.
struct ByteReversal : CRevAddr<2> {
    using CRevAddr<2>::Reverse;
};

// Writes the low 16 bits of `value` most significant byte first: the
// reverse of their memory image on this little-endian host.
inline void WriteBig16(unsigned char* bytes, std::uint32_t value) {
    static_assert(std::endian::native == std::endian::little);
    const auto field = static_cast<std::uint16_t>(value);
    std::array<unsigned char, sizeof field> image{};
    std::memcpy(image.data(), &field, sizeof field);
    ByteReversal::Reverse(image.data(), bytes, sizeof field);
}

} // namespace qndis::detail
