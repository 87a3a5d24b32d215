#pragma once

// The classic packet-filter instruction that kernel filters and the
// attach-filter call take.

#include "qndislib/w32n55abi/W32N55.h"

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
// No capture library here to declare it; the layout is the kernel's.
struct bpf_insn {
    std::uint16_t code;
    std::uint8_t jt;
    std::uint8_t jf;
    std::uint32_t k;
};
#else
#include <linux/filter.h>
#include <pcap/pcap.h>
#endif

namespace w32n55 {

// The most instructions a kernel filter may have.
inline constexpr std::uint32_t kMaxFilterInstructions = 4096;

namespace filter_layout = w32n55abi::filter_instruction;
static_assert(sizeof(bpf_insn) == filter_layout::kSize &&
              offsetof(bpf_insn, code) == filter_layout::kCodeOffset &&
              offsetof(bpf_insn, jt) == filter_layout::kJumpTrueOffset &&
              offsetof(bpf_insn, jf) == filter_layout::kJumpFalseOffset &&
              offsetof(bpf_insn, k) == filter_layout::kValueOffset);
#if !defined(_WIN32)
static_assert(kMaxFilterInstructions == BPF_MAXINSNS);
#endif

} // namespace w32n55
