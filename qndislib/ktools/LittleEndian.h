#pragma once

// Stream integers are little-endian whatever the host, like the records of
// the driver-access contract, and are read and written the same way.

#include "qndislib/ktools/MemoryBuffer.h"
#include "qndislib/w32n55abi/LittleEndian.h"

#include <array>
#include <cstdint>

namespace ktools::le {

template <typename T> void Write(CMemoryBuffer& buffer, T value) {
    static_assert(sizeof(T) <= 4);
    std::array<std::uint8_t, sizeof(T)> bytes{};
    w32n55abi::WriteLittleEndian(bytes.data(), value);
    buffer.Write(bytes.data(), sizeof(T));
}

template <typename T> T Read(CMemoryBuffer& buffer) {
    static_assert(sizeof(T) <= 4);
    std::array<std::uint8_t, sizeof(T)> bytes{};
    buffer.Read(bytes.data(), sizeof(T));
    return w32n55abi::ReadLittleEndian<T>(bytes.data());
}

} // namespace ktools::le
