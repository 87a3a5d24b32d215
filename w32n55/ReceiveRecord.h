#pragma once

#include "w32n55/Adapter.h"

#include <cstddef>
#include <cstdint>

namespace w32n55 {

// The caller's receive record: a 56-byte header, little-endian, whose last
// field is the first frame byte; the frame runs on into the capacity behind.
class ReceiveRecord {
public:
    static constexpr std::size_t kPacketNumberOffset = 28;
    static constexpr std::size_t kTimestampOffset = 36;
    static constexpr std::size_t kLengthOffset = 44;
    // Not read by callers; it keeps the frame's length on the wire, which
    // can exceed the stored length.
    static constexpr std::size_t kWireLengthOffset = 46;
    static constexpr std::size_t kCapacityOffset = 52;
    static constexpr std::size_t kDataOffset = 56;

    // Stores the frame, cut to the record's capacity (never more than the
    // snap length), and returns the bytes of the record written, header
    // included.
    static std::uint32_t Fill(std::uint8_t* record, const CapturedFrame& frame,
                              std::uint64_t packetNumber, std::uint64_t timestamp);
};

} // namespace w32n55
