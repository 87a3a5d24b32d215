#include "w32n55/InformationBuffer.h"

#include "qndislib/w32n55abi/LittleEndian.h"

#include <cstring>
#include <vector>

namespace w32n55 {

using w32n55abi::WriteLittleEndian;

InformationBuffer::InformationBuffer(void* data, std::uint32_t length)
    : data_(static_cast<std::uint8_t*>(data)), length_(data != nullptr ? length : 0) {}

RequestOutcome InformationBuffer::PutULong(std::uint32_t value) {
    std::uint8_t bytes[4];
    WriteLittleEndian(bytes, value);
    return PutBytes(bytes);
}

RequestOutcome InformationBuffer::PutCounter(std::uint64_t value) {
    if (length_ >= 8) {
        std::uint8_t bytes[8];
        WriteLittleEndian(bytes, value);
        return PutBytes(bytes);
    }
    return PutULong(static_cast<std::uint32_t>(value));
}

RequestOutcome InformationBuffer::PutBytes(std::span<const std::uint8_t> bytes) {
    const auto size = static_cast<std::uint32_t>(bytes.size());
    if (size > length_) {
        return {NDIS_STATUS_BUFFER_TOO_SHORT, 0, size};
    }
    if (size != 0) {
        std::memcpy(data_, bytes.data(), size);
    }
    return {NDIS_STATUS_SUCCESS, size, 0};
}

RequestOutcome InformationBuffer::PutULongs(std::span<const std::uint32_t> values) {
    std::vector<std::uint8_t> bytes(values.size() * 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        WriteLittleEndian(&bytes[4 * i], values[i]);
    }
    return PutBytes(bytes);
}

RequestOutcome InformationBuffer::PutText(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return PutBytes(bytes);
}

std::optional<std::uint32_t> InformationBuffer::GetULong() const {
    if (length_ < 4) {
        return std::nullopt;
    }
    return w32n55abi::ReadLittleEndian<std::uint32_t>(data_);
}

} // namespace w32n55
