#pragma once

#include "qndislib/frame/Frame.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace qndis::detail {

// The bytes after the link header of `frame`, which the IP filters take to
// be an IPv4 header; empty for a null frame or one without description.
inline std::span<const unsigned char> DataOf(const CFrame* frame) {
    return frame != nullptr ? frame->GetDataSpan() : std::span<const unsigned char>();
}

// The header length that the first byte of non-empty IPv4 data gives.
inline std::size_t IPv4HeaderLength(std::span<const unsigned char> data) {
    return std::size_t{data[0] & 0x0Fu} * 4;
}

// Network-order numbers; the caller has checked that the bytes exist.
inline std::uint16_t ReadNetwork16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

inline std::uint32_t ReadNetwork32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

} // namespace qndis::detail
