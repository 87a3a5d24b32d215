#include "w32n55/ReceiveRecord.h"

#include "w32n55/CaptureSettings.h"

#include <algorithm>
#include <cstring>

namespace w32n55 {
namespace {

void Store(std::uint8_t* out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t Load32(const std::uint8_t* in) {
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

} // namespace

std::uint32_t ReceiveRecord::Fill(std::uint8_t* record, const CapturedFrame& frame,
                                  std::uint64_t packetNumber, std::uint64_t timestamp) {
    const std::uint32_t capacity =
        std::min<std::uint32_t>(Load32(record + kCapacityOffset), CaptureSettings::kSnapLength);
    std::uint32_t length = std::min(frame.capturedLength, capacity);
    // Knowing the bound, the compiler would copy with a string instruction
    // whose start-up costs more than a short frame; the C library's copy is
    // faster at every frame size.
    asm("" : "+r"(length));
    Store(record + kPacketNumberOffset, packetNumber, 8);
    Store(record + kTimestampOffset, timestamp, 8);
    Store(record + kLengthOffset, length, 2);
    Store(record + kWireLengthOffset, frame.wireLength, 4);
    std::memcpy(record + kDataOffset, frame.data, length);
    return static_cast<std::uint32_t>(kDataOffset) + length;
}

} // namespace w32n55
