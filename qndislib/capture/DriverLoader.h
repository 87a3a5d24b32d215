#pragma once

#include "qndislib/platform/DynamicLibrary.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace qndis {

// The process's one binding to the driver-access library: the loaded file,
// or an in-process ordinal table standing in for it, and its lookup.
// Loading happens on the first lookup so that a program that never reaches
// the driver never loads it; a failed load is tried again by the next call.
class DriverLoader {
public:
    static DriverLoader& Instance();

    DriverLoader(const DriverLoader&) = delete;
    DriverLoader& operator=(const DriverLoader&) = delete;
    // The exit routine: runs when qndislib unloads.
    ~DriverLoader();

    // The entry point of `ordinal`, loading the library if needed. Throws
    // CDriverLoadError.
    void* Resolve(std::uint32_t ordinal);
    bool IsLoaded() const;
    // A non-null `lookup` replaces the library (which is released); null
    // releases the table, and the next lookup loads the library afresh.
    void UseLookup(W32N55_GetProcAddressFn lookup);
    // Detaches the alertable waits first, then unloads the library.
    void Release();

private:
    DriverLoader() = default;

    W32N55_GetProcAddressFn Lookup();
    void LoadLocked();
    void BindLocked(W32N55_GetProcAddressFn lookup);
    void ReleaseLocked();
    std::string OriginLocked() const;

    mutable std::mutex m_mutex;
    std::atomic<W32N55_GetProcAddressFn> m_lookup{nullptr};
    DynamicLibrary m_library;
    std::string m_path;
};

} // namespace qndis
