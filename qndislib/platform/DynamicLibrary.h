#pragma once

#include <string>

namespace qndis {

// A shared object opened with dlopen and closed when the object goes.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
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

    explicit operator bool() const { return m_handle != nullptr; }
    void* Symbol(const char* name) const;
    // The path the loader found the library at.
    std::string Path() const;
    void Close();

private:
    explicit DynamicLibrary(void* handle) : m_handle(handle) {}

    void* m_handle = nullptr;
};

} // namespace qndis
