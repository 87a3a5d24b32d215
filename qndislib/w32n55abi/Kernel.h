#pragma once

// The kernel types the driver-access contract names: events, the overlapped
// record and the results of a wait. On Windows they are the system's own.

#if defined(_WIN32)

#include <windows.h>

#else

// An event is an eventfd descriptor (non-blocking, close-on-exec), so the
// driver-access library can signal an event it was handed without sharing
// any state with qndislib. A HANDLE carries the descriptor and the reset
// mode in its value: (fd + 1) * 2 + manual. The null handle is "no event".
// Another library signals an event with w32n55abi::SignalEvent (EventSignal.h);
// it must not read it, since reading is how an auto-reset event is consumed
// by the waiter.

#include <cstdint>

using HANDLE = void*;
using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG_PTR = std::uintptr_t;

// Other headers of this kind often define these as macros.
#ifndef TRUE
inline constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
inline constexpr BOOL FALSE = 0;
#endif

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
inline constexpr DWORD WAIT_IO_COMPLETION = 0x000000C0;
inline constexpr DWORD WAIT_TIMEOUT = 0x00000102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// Field order as on the original platform. Offset and OffsetHigh are
// pointer-sized here because a receive package keeps its own address in
// OffsetHigh, which a 32-bit field could not hold.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    ULONG_PTR Offset;
    ULONG_PTR OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

// The eventfd descriptor of an event, -1 for the null or invalid handle.
inline int EventFd(HANDLE event) {
    const auto value = reinterpret_cast<std::uintptr_t>(event);
    if (value < 2 || event == INVALID_HANDLE_VALUE) {
        return -1;
    }
    return static_cast<int>((value >> 1) - 1);
}

inline bool IsManualResetEvent(HANDLE event) {
    return EventFd(event) >= 0 && (reinterpret_cast<std::uintptr_t>(event) & 1U) != 0;
}

inline HANDLE MakeEventHandle(int fd, bool manualReset) {
    return reinterpret_cast<HANDLE>(((static_cast<std::uintptr_t>(fd) + 1) << 1) |
                                    (manualReset ? 1U : 0U));
}

#endif
