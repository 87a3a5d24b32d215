#pragma once

// The small part of the Windows kernel interface that the library and its
// applications use: events, the overlapped record and alertable waits. The
// types and, elsewhere than on Windows, the handle encoding are those of the
// driver-access contract.

#include "qndislib/w32n55abi/Kernel.h"

// On Windows these are the system's own calls, which Kernel.h brings in.
#if !defined(_WIN32)

#include "qndislib/Export.h"

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

#endif
