#include "qndislib/capture/DriverLibrary.h"

#include "qndislib/capture/DriverLoader.h"
#include "qndislib/platform/AlertableWaitService.h"

namespace qndis {

void* DriverLibrary::Resolve(w32n55abi::Ordinal ordinal) {
    return DriverLoader::Instance().Resolve(ordinal);
}

w32n55abi::AlertableWaitFn DriverLibrary::LoadedAlertableWait() {
    return AlertableWaitService::Current();
}

bool DriverLibrary::IsLoaded() {
    return DriverLoader::Instance().IsLoaded();
}

void DriverLibrary::UseLookupForTesting(W32N55_GetProcAddressFn lookup) {
    DriverLoader::Instance().UseLookup(lookup);
}

} // namespace qndis
