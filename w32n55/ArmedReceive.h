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
    // Filled when the frame arrives.
    std::uint32_t bytes;
};

} // namespace w32n55
