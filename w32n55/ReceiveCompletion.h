#pragma once

#include "w32n55/ArmedReceive.h"

#include <atomic>

namespace w32n55 {

// How a completed receive reaches its caller, in either of the two routine
// forms of the start-a-receive call.
//
// The process uses one form, reported by the completion-style call. It is
// the three-argument form unless the environment variable
// W32N55_COMPLETION_STYLE is "single" when the library is loaded. The
// three-argument form leaves the overlapped record without an event, so the
// caller's re-arming costs no system call per frame; in the single-argument
// form the overlapped's event is signalled before the routine runs, as an
// overlapped completion signals it.
class ReceiveCompletion {
public:
    // Inline: every receive started asks.
    static bool SingleArgumentStyle() { return singleArgument_.load(std::memory_order_relaxed); }
    // Switches the form of receives armed from now on; for tests that cover
    // both forms in one process.
    static void SetSingleArgumentStyle(bool single) {
        singleArgument_.store(single, std::memory_order_relaxed);
    }

    // Stores the byte count in the caller's count and overlapped record and
    // the status in the overlapped record's Internal (and the three-argument
    // routine's error), signals the event where the form asks for it and
    // runs the routine.
    static void Run(const ArmedReceive& receive);

private:
    static std::atomic<bool> singleArgument_;
};

} // namespace w32n55
