#pragma once

// The small part of the Windows kernel interface that the library and its
// applications use: events, the overlapped record and alertable waits.
//
// An event is an eventfd descriptor (non-blocking, close-on-exec), so the
// driver-access library can signal an event it was handed without sharing
// any state with qndislib. A HANDLE carries the descriptor and the reset
// mode in its value: (fd + 1) * 2 + manual. The null handle is "no event".
// Another library signals an event by writing the 8-byte value 1 to
// EventFd(handle); it must not read it, since reading is how an auto-reset
// event is consumed by the waiter.

#include "qndislib/Export.h"

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

// Named events cannot be shared between processes here: a non-null name
// makes the call fail (null result) rather than silently give a private
// event. `attributes` is ignored.
QNDIS_API HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState,
                              const char* name);
QNDIS_API BOOL SetEvent(HANDLE event);
QNDIS_API BOOL ResetEvent(HANDLE event);
QNDIS_API BOOL CloseHandle(HANDLE handle);

// An alertable wait is served by the driver-access library once it is
// loaded: completion routines of receives armed by this thread run inside
// it and the wait then returns WAIT_IO_COMPLETION. Without it, a plain wait.
QNDIS_API DWORD WaitForSingleObjectEx(HANDLE handle, DWORD milliseconds, BOOL alertable);
// 0 when the time passed, WAIT_IO_COMPLETION when completion routines ran.
QNDIS_API DWORD SleepEx(DWORD milliseconds, BOOL alertable);
