#include "qndislib/platform/Win32.h"

#include "qndislib/platform/AlertableWaitService.h"
#include "qndislib/platform/WaitDeadline.h"
#include "qndislib/w32n55abi/EventSignal.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace {

using qndis::AlertableWaitService;
using qndis::WaitDeadline;

// Reading an eventfd takes its whole count, so however often the event was
// set it wakes exactly one waiter. False when another thread was first.
bool TakeSignal(int fd) {
    std::uint64_t count = 0;
    return ::read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
}

bool TakesSignalOnWake(HANDLE event) {
    return !IsManualResetEvent(event);
}

DWORD PlainWait(int fd, bool autoReset, const WaitDeadline& deadline) {
    for (;;) {
        pollfd descriptor{fd, POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, deadline.RemainingMs());
        if (ready < 0 && errno != EINTR) {
            return WAIT_FAILED;
        }
        if (ready == 0 && deadline.Passed()) {
            return WAIT_TIMEOUT;
        }
        if (ready <= 0) {
            continue;
        }
        if ((descriptor.revents & POLLIN) == 0) {
            return WAIT_FAILED;
        }
        if (!autoReset || TakeSignal(fd)) {
            return WAIT_OBJECT_0;
        }
    }
}

// The service reports a readable event; an auto-reset one is consumed here,
// and a waiter that lost it to another thread goes on waiting.
DWORD ServedWait(AlertableWaitService::Fn service, int fd, bool autoReset,
                 const WaitDeadline& deadline) {
    for (;;) {
        const DWORD result = service(fd, deadline.RemainingMs());
        if (result == WAIT_TIMEOUT && !deadline.Passed()) {
            continue;
        }
        if (result != WAIT_OBJECT_0 || fd < 0 || !autoReset || TakeSignal(fd)) {
            return result;
        }
    }
}

void PlainSleep(const WaitDeadline& deadline) {
    while (!deadline.Passed()) {
        ::poll(nullptr, 0, deadline.RemainingMs());
    }
}

AlertableWaitService::Fn ServiceFor(BOOL alertable) {
    return alertable ? AlertableWaitService::Current() : nullptr;
}

} // namespace

HANDLE CreateEventA(void* /*attributes*/, BOOL manualReset, BOOL initialState, const char* name) {
    if (name != nullptr) {
        return nullptr;
    }
    const int fd = ::eventfd(initialState ? 1U : 0U, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    return MakeEventHandle(fd, manualReset != FALSE);
}

BOOL SetEvent(HANDLE event) {
    return w32n55abi::SignalEvent(event) ? TRUE : FALSE;
}

BOOL ResetEvent(HANDLE event) {
    const int fd = EventFd(event);
    if (fd < 0) {
        return FALSE;
    }
    return TakeSignal(fd) || errno == EAGAIN ? TRUE : FALSE;
}

BOOL CloseHandle(HANDLE handle) {
    const int fd = EventFd(handle);
    return fd >= 0 && ::close(fd) == 0 ? TRUE : FALSE;
}

DWORD WaitForSingleObjectEx(HANDLE handle, DWORD milliseconds, BOOL alertable) {
    const int fd = EventFd(handle);
    if (fd < 0) {
        return WAIT_FAILED;
    }
    const WaitDeadline deadline(milliseconds);
    const bool autoReset = TakesSignalOnWake(handle);
    if (const auto service = ServiceFor(alertable)) {
        return ServedWait(service, fd, autoReset, deadline);
    }
    return PlainWait(fd, autoReset, deadline);
}

DWORD SleepEx(DWORD milliseconds, BOOL alertable) {
    if (milliseconds == 0 && !alertable) {
        std::this_thread::yield();
        return 0;
    }
    const WaitDeadline deadline(milliseconds);
    if (const auto service = ServiceFor(alertable)) {
        const DWORD result = ServedWait(service, -1, false, deadline);
        if (result == WAIT_IO_COMPLETION) {
            return WAIT_IO_COMPLETION;
        }
    }
    // A failed service leaves the rest of the time to sleep through plainly.
    PlainSleep(deadline);
    return 0;
}
