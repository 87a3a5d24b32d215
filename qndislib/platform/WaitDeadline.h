#pragma once

#include "qndislib/platform/Win32.h"

#include <chrono>
#include <cstdint>

namespace qndis {

// The end of a wait given in milliseconds, INFINITE for none. A wait that
// is woken early (a signal, a lost race for an event, a clamped timeout)
// asks again for the time that is left rather than starting over.
class WaitDeadline {
public:
    explicit WaitDeadline(DWORD milliseconds);

    bool IsInfinite() const { return m_infinite; }
    bool Passed() const;
    // Milliseconds left, rounded up so that a wait never ends early, and
    // clamped to what poll() takes; -1 for no limit.
    std::int32_t RemainingMs() const;

private:
    using Clock = std::chrono::steady_clock;

    bool m_infinite;
    Clock::time_point m_end;
};

} // namespace qndis
