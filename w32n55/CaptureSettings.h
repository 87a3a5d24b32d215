#pragma once

#include <cstdint>

namespace w32n55 {

// One place for the capture parameters, so that the capture harness can run a
// plain libpcap reader with exactly the settings the adapters use.
struct CaptureSettings {
    // The receive record holds at most this many frame bytes.
    static constexpr int kSnapLength = 2000;
    // Large enough to absorb a scheduling hiccup of some tens of milliseconds
    // at line rate on a veth pair without drops.
    static constexpr int kRingBytes = 16 * 1024 * 1024;
    // Buffered delivery: a ring block is handed over when full or after this
    // long, which bounds the delay a quiet link adds to a frame.
    static constexpr int kBlockTimeoutMs = 5;
};

} // namespace w32n55
