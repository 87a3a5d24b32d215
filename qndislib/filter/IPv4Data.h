#pragma once

#include "qndislib/frame/Frame.h"
#include "qndislib/media/ReadableBytes.h"

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

} // namespace qndis::detail
