#pragma once

// Kept out of Kernel.h, which applications see, for the system headers it
// needs.

#include "qndislib/w32n55abi/Kernel.h"

#if defined(_WIN32)

namespace w32n55abi {

// False for no event or one the system refuses to set.
inline bool SignalEvent(HANDLE event) {
    return event != nullptr && ::SetEvent(event) != FALSE;
}

} // namespace w32n55abi

#else

#include <cerrno>
#include <cstdint>
#include <unistd.h>

namespace w32n55abi {

// Adds 1 to the event's counter. False for no event or a failed write; a
// counter at its limit is an event that is already set, which is success.
inline bool SignalEvent(HANDLE event) {
    const int fd = EventFd(event);
    if (fd < 0) {
        return false;
    }
    const std::uint64_t one = 1;
    return ::write(fd, &one, sizeof one) == static_cast<ssize_t>(sizeof one) || errno == EAGAIN;
}

} // namespace w32n55abi

#endif
