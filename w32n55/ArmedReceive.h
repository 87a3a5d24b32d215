#pragma once

#include <cstdint>

namespace w32n55 {

// One receive started by a caller: where the frame goes and how the caller
// learns that it arrived. The completion step that reads `overlapped` and
// `routine` is the ordinal layer's (ReceiveCompletion).
struct ArmedReceive {
    std::uint8_t* record;
    std::uint32_t* byteCount;
    void* overlapped;
    void* routine;
    bool singleArgument;
    // Filled when the frame arrives, or when the receive ends without one
    // (an NDIS status, such as the adapter's removal, and no bytes).
    std::uint32_t bytes;
    std::uint32_t status;
};

} // namespace w32n55
