#include "qndislib/capture/DriverLoader.h"

#include "qndislib/capture/DriverLibrary.h"
#include "qndislib/capture/ModuleDirectory.h"
#include "qndislib/platform/AlertableWaitService.h"

#include <optional>
#include <type_traits>

namespace qndis {

static_assert(std::is_same_v<AlertableWaitService::Fn, w32n55abi::AlertableWaitFn>);

namespace {

std::string NotFoundMessage(const std::string& directory, const std::optional<std::string>& ownPath,
                            const std::string& ownError, const std::string& searchError) {
    std::string message = std::string("Cannot load ") + kW32N55LibraryName + ": ";
    if (ownPath) {
        message +=
            "not loadable from qndislib's directory as " + *ownPath + " (" + ownError + "), nor";
    } else if (directory.empty()) {
        message += "qndislib's own directory is unknown, and not";
    } else {
        message += "the path in qndislib's directory " + directory + " is too long to try, and not";
    }
    return message + " found along the standard library search path (" + searchError + ")";
}

} // namespace

DriverLoader& DriverLoader::Instance() {
    static DriverLoader loader;
    return loader;
}

DriverLoader::~DriverLoader() {
    Release();
}

void* DriverLoader::Resolve(std::uint32_t ordinal) {
    void* entry = Lookup()(ordinal);
    if (entry == nullptr) {
        const std::lock_guard lock(m_mutex);
        throw CDriverLoadError(CDriverLoadError::kEntryPointNotFound,
                               OriginLocked() + " has no entry point for ordinal " +
                                   std::to_string(ordinal));
    }
    return entry;
}

bool DriverLoader::IsLoaded() const {
    return m_lookup.load(std::memory_order_acquire) != nullptr;
}

void DriverLoader::UseLookup(W32N55_GetProcAddressFn lookup) {
    const std::lock_guard lock(m_mutex);
    ReleaseLocked();
    if (lookup != nullptr) {
        BindLocked(lookup);
    }
}

void DriverLoader::Release() {
    const std::lock_guard lock(m_mutex);
    ReleaseLocked();
}

W32N55_GetProcAddressFn DriverLoader::Lookup() {
    if (const auto lookup = m_lookup.load(std::memory_order_acquire)) {
        return lookup;
    }
    const std::lock_guard lock(m_mutex);
    if (m_lookup.load(std::memory_order_relaxed) == nullptr) {
        LoadLocked();
    }
    return m_lookup.load(std::memory_order_relaxed);
}

void DriverLoader::LoadLocked() {
    const std::string directory = ModuleDirectory::Get();
    const std::optional<std::string> ownPath =
        ModuleDirectory::LibraryPath(directory, kW32N55LibraryName);
    std::string ownError;
    std::string searchError;
    DynamicLibrary library;
    if (ownPath) {
        library = DynamicLibrary::Open(*ownPath, ownError);
    }
    if (!library) {
        library = DynamicLibrary::Open(kW32N55LibraryName, searchError);
    }
    if (!library) {
        throw CDriverLoadError(CDriverLoadError::kModuleNotFound,
                               NotFoundMessage(directory, ownPath, ownError, searchError));
    }
    const W32N55_GetProcAddressFn lookup = library.OrdinalLookup(kW32N55LookupSymbol);
    if (lookup == nullptr) {
        throw CDriverLoadError(CDriverLoadError::kEntryPointNotFound,
                               std::string(kW32N55LibraryName) + " loaded from " + library.Path() +
                                   " does not export " + kW32N55LookupSymbol);
    }
    m_path = library.Path();
    m_library = std::move(library);
    BindLocked(lookup);
}

void DriverLoader::BindLocked(W32N55_GetProcAddressFn lookup) {
    m_lookup.store(lookup, std::memory_order_release);
    AlertableWaitService::Install(
        reinterpret_cast<AlertableWaitService::Fn>(lookup(w32n55abi::kAlertableWait)));
}

void DriverLoader::ReleaseLocked() {
    AlertableWaitService::Install(nullptr);
    m_lookup.store(nullptr, std::memory_order_release);
    m_library.Close();
    m_path.clear();
}

std::string DriverLoader::OriginLocked() const {
    const std::string name(kW32N55LibraryName);
    if (m_library) {
        return name + " loaded from " + m_path;
    }
    return name + " (in-process ordinal table)";
}

} // namespace qndis
