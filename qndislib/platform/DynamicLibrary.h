#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace qndis {

// A shared library (a shared object, a DLL on Windows) opened by the
// system's loader and closed when the object goes.
class DynamicLibrary {
public:
    using OrdinalLookupFn = void* (*)(std::uint32_t ordinal);

    DynamicLibrary() = default;
    ~DynamicLibrary() { Close(); }
    DynamicLibrary(DynamicLibrary&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)) {}
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // `file` with a slash is opened as that path, a plain file name along
    // the standard search path. On failure the result is closed and `error`
    // holds the loader's reason.
    static DynamicLibrary Open(const std::string& file, std::string& error);

    // The full path of the module (shared object or the executable) whose
    // image holds `address`; empty when it cannot be found. A path the
    // module was opened by relative to the working directory is made
    // absolute, so it stays right when the directory changes later.
    static std::string PathOfModuleContaining(const void* address);
    // The directory part of an absolute module path, ending in the path
    // separator; empty for a relative path.
    static std::string DirectoryOf(std::string_view modulePath);
    // `fileName` in `directory`, the separator added where it is missing.
    static std::string InDirectory(std::string directory, std::string_view fileName);

    explicit operator bool() const { return m_handle != nullptr; }
    void* Symbol(const char* name) const;
    // How the library hands out entry points by ordinal: on Windows the
    // loader finds them in its export table; elsewhere the library exports
    // a lookup function named `lookupSymbol`. Null when it has none. On
    // Windows the lookup serves the library it was last asked of (a
    // process reaches one library by ordinal), until that one is closed.
    OrdinalLookupFn OrdinalLookup(const char* lookupSymbol) const;
    // The path the loader found the library at.
    std::string Path() const;
    void Close();

private:
    explicit DynamicLibrary(void* handle) : m_handle(handle) {}

    void* m_handle = nullptr;
};

} // namespace qndis
