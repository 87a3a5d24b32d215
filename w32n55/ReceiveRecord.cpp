#include "w32n55/ReceiveRecord.h"

#include "qndislib/w32n55abi/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace w32n55 {

using w32n55abi::ReadLittleEndian;
using w32n55abi::WriteLittleEndian;

std::uint32_t ReceiveRecord::Fill(std::uint8_t* record, const CapturedFrame& frame,
                                  std::uint64_t packetNumber, std::uint64_t timestamp) {
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

} // namespace w32n55
