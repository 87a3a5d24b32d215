#pragma once

#include "qndislib/w32n55abi/LittleEndian.h"
#include "qndislib/w32n55abi/W32N55.h"
#include "w32n55/Adapter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

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
    // data capacity of the contract, the capture's snap length), and returns
    // the bytes of the record written, header included. Inline: it runs once
    // per frame.
    static std::uint32_t Fill(std::uint8_t* record, const CapturedFrame& frame,
                              std::uint64_t packetNumber, std::uint64_t timestamp) {
        using w32n55abi::ReadLittleEndian;
        using w32n55abi::WriteLittleEndian;
        const std::uint32_t capacity =
            std::min<std::uint32_t>(ReadLittleEndian<std::uint32_t>(record + kCapacityOffset),
                                    w32n55abi::receive_record::kDataCapacity);
        std::uint32_t length = std::min(frame.capturedLength, capacity);
        // Knowing the bound, the compiler would copy with a string instruction
        // whose start-up costs more than a short frame; the C library's copy is
        // faster at every frame size.
        asm("" : "+r"(length));
        WriteLittleEndian(record + kPacketNumberOffset, packetNumber);
        WriteLittleEndian(record + kTimestampOffset, timestamp);
        WriteLittleEndian(record + kLengthOffset, static_cast<std::uint16_t>(length));
        WriteLittleEndian(record + kWireLengthOffset, frame.wireLength);
        std::memcpy(record + kDataOffset, frame.data, length);
        return static_cast<std::uint32_t>(kDataOffset) + length;
    }
};

} // namespace w32n55
