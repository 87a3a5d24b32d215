#include "qndislib/platform/DynamicLibrary.h"

#include <array>
#include <atomic>
#include <shlwapi.h>
#include <utility>
#include <windows.h>

namespace qndis {

namespace {

HMODULE ModuleOf(void* handle) {
    return static_cast<HMODULE>(handle);
}

std::string LastLoaderError() {
    const DWORD code = ::GetLastError();
    std::array<char, 512> text{};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::string message(text.data(), length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

// A path that fills the buffer may have been cut short: none rather than a
// wrong one.
std::string FileNameOf(HMODULE module) {
    std::array<char, MAX_PATH> path{};
    const DWORD length = ::GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) {
        return {};
    }
    return std::string(path.data(), length);
}

constinit std::atomic<HMODULE> g_ordinalModule{nullptr};

void* EntryByOrdinal(std::uint32_t ordinal) {
    const HMODULE module = g_ordinalModule.load(std::memory_order_acquire);
    if (module == nullptr || ordinal == 0 || ordinal > 0xFFFF) {
        return nullptr;
    }
    return reinterpret_cast<void*>(
        ::GetProcAddress(module, MAKEINTRESOURCEA(static_cast<WORD>(ordinal))));
}

} // namespace

DynamicLibrary DynamicLibrary::Open(const std::string& file, std::string& error) {
    const HMODULE module = ::LoadLibraryA(file.c_str());
    if (module == nullptr) {
        error = LastLoaderError();
        return DynamicLibrary();
    }
    error.clear();
    return DynamicLibrary(module);
}

std::string DynamicLibrary::PathOfModuleContaining(const void* address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<const char*>(address), &module)) {
        return {};
    }
    return FileNameOf(module);
}

std::string DynamicLibrary::DirectoryOf(std::string_view modulePath) {
    std::array<char, MAX_PATH + 1> path{};
    if (modulePath.empty() || modulePath.size() >= MAX_PATH) {
        return {};
    }
    modulePath.copy(path.data(), modulePath.size());
    if (::PathIsRelativeA(path.data()) || !::PathRemoveFileSpecA(path.data()) ||
        ::PathAddBackslashA(path.data()) == nullptr) {
        return {};
    }
    return path.data();
}

std::string DynamicLibrary::InDirectory(std::string directory, std::string_view fileName) {
    if (directory.empty() || directory.back() != '\\') {
        directory += '\\';
    }
    return directory.append(fileName);
}

void* DynamicLibrary::Symbol(const char* name) const {
    return m_handle != nullptr ? reinterpret_cast<void*>(::GetProcAddress(ModuleOf(m_handle), name))
                               : nullptr;
}

DynamicLibrary::OrdinalLookupFn DynamicLibrary::OrdinalLookup(const char* /*lookupSymbol*/) const {
    if (m_handle == nullptr) {
        return nullptr;
    }
    g_ordinalModule.store(ModuleOf(m_handle), std::memory_order_release);
    return &EntryByOrdinal;
}

std::string DynamicLibrary::Path() const {
    return m_handle != nullptr ? FileNameOf(ModuleOf(m_handle)) : std::string();
}

void DynamicLibrary::Close() {
    if (m_handle == nullptr) {
        return;
    }
    const HMODULE module = ModuleOf(std::exchange(m_handle, nullptr));
    HMODULE served = module;
    g_ordinalModule.compare_exchange_strong(served, nullptr, std::memory_order_acq_rel);
    ::FreeLibrary(module);
}

} // namespace qndis
