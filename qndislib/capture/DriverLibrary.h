#pragma once

// Reaches libw32n55.so (W32N55.dll on Windows) by ordinal. It is loaded on
// the first lookup, from the directory that holds qndislib's code first and
// then along the standard search path, and unloaded when qndislib unloads.

#include "qndislib/Export.h"
#include "qndislib/capture/DriverLoadError.h"
#include "qndislib/w32n55abi/W32N55.h"

namespace qndis {

class DriverLibrary {
public:
    // The entry point of `ordinal`; loads the library on first use. Throws
    // CDriverLoadError when the library or the ordinal is missing.
    static void* Resolve(w32n55abi::Ordinal ordinal);

    template <w32n55abi::Ordinal O> static typename w32n55abi::Entry<O>::Fn Get() {
        return reinterpret_cast<typename w32n55abi::Entry<O>::Fn>(Resolve(O));
    }

    // The alertable-wait service if the library is already loaded, else
    // null: a wait never loads the library by itself.
    static w32n55abi::AlertableWaitFn LoadedAlertableWait();
    static bool IsLoaded();

    // Replaces the library by an in-process ordinal table (a test double);
    // null goes back to the real library, which is then loaded afresh.
    static void UseLookupForTesting(W32N55_GetProcAddressFn lookup);
};

} // namespace qndis
