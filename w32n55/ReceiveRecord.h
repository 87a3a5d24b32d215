#pragma once

#include "qndislib/w32n55abi/W32N55.h"
#include "w32n55/Adapter.h"

#include <cstddef>
#include <cstdint>

namespace w32n55 {

// The caller's receive record: a 56-byte header, little-endian, whose last
// field is the first frame byte; the frame runs on into the capacity behind.
class ReceiveRecord {
public:
    static constexpr std::size_t kPacketNumberOffset =
        w32n55abi::receive_record::kPacketNumberOffset;
    static constexpr std::size_t kTimestampOffset = w32n55abi::receive_record::kTimestampOffset;
    static constexpr std::size_t kLengthOffset = w32n55abi::receive_record::kLengthOffset;
    static constexpr std::size_t kCapacityOffset = w32n55abi::receive_record::kCapacityOffset;
    static constexpr std::size_t kWireLengthOffset = w32n55abi::receive_record::kWireLengthOffset;
    static constexpr std::size_t kDataOffset = w32n55abi::receive_record::kDataOffset;

    // Stores the frame, cut to the record's capacity (never more than the
    // data capacity of the contract, the capture's snap length), and returns the bytes of the
    // record written, header included.
    static std::uint32_t Fill(std::uint8_t* record, const CapturedFrame& frame,
                              std::uint64_t packetNumber, std::uint64_t timestamp);
};

} // namespace w32n55
