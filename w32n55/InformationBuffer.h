#pragma once

#include "qndislib/w32n55abi/W32N55.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace w32n55 {

// What a request reports back: its status and the two byte counts of the
// request record.
struct RequestOutcome {
    std::uint32_t status = NDIS_STATUS_SUCCESS;
    std::uint32_t bytesWritten = 0;
    std::uint32_t bytesNeeded = 0;

    static RequestOutcome Refused(std::uint32_t status) { return {status, 0, 0}; }
};

// A caller's information buffer, written the way an NDIS miniport writes it:
// never past its length, reporting the bytes needed when it is too short.
class InformationBuffer {
public:
    InformationBuffer(void* data, std::uint32_t length);

    RequestOutcome PutULong(std::uint32_t value);
    // Statistics counters: all 64 bits when the buffer has room for them,
    // else the low 32 bits.
    RequestOutcome PutCounter(std::uint64_t value);
    RequestOutcome PutBytes(std::span<const std::uint8_t> bytes);
    RequestOutcome PutULongs(std::span<const std::uint32_t> values);
    // NUL-terminated.
    RequestOutcome PutText(std::string_view text);
    // The value of a 4-byte set request.
    std::optional<std::uint32_t> GetULong() const;

private:
    std::uint8_t* data_;
    std::uint32_t length_;
};

} // namespace w32n55
