#include "qndislib/platform/WaitDeadline.h"

#include <algorithm>
#include <limits>

namespace qndis {

WaitDeadline::WaitDeadline(DWORD milliseconds)
    : m_infinite(milliseconds == INFINITE),
      m_end(Clock::now() + std::chrono::milliseconds(m_infinite ? 0 : milliseconds)) {}

bool WaitDeadline::Passed() const {
    return !m_infinite && Clock::now() >= m_end;
}

std::int32_t WaitDeadline::RemainingMs() const {
    if (m_infinite) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_end - Clock::now()).count();
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(left, 0, std::numeric_limits<std::int32_t>::max()));
}

} // namespace qndis
