#include "qndislib/platform/DynamicLibrary.h"

#include <array>
#include <climits>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>
#include <utility>

namespace qndis {

namespace {

std::string LastLoaderError() {
    const char* text = ::dlerror();
    return text != nullptr ? std::string(text) : std::string("unknown loader error");
}

// The main program's link map has an empty name; its file is the one the
// kernel started.
std::string ExecutablePath() {
    std::array<char, PATH_MAX> path{};
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return {};
    }
    return std::string(path.data(), static_cast<std::size_t>(length));
}

std::string Absolute(std::string path) {
    if (path.empty() || path.front() == '/') {
        return path;
    }
    std::array<char, PATH_MAX> directory{};
    if (::getcwd(directory.data(), directory.size()) == nullptr) {
        return {};
    }
    std::string absolute(directory.data());
    if (path.starts_with("./")) {
        path.erase(0, 2);
    }
    return absolute + '/' + path;
}

} // namespace

DynamicLibrary DynamicLibrary::Open(const std::string& file, std::string& error) {
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        error = LastLoaderError();
        return DynamicLibrary();
    }
    error.clear();
    return DynamicLibrary(handle);
}

std::string DynamicLibrary::PathOfModuleContaining(const void* address) {
    Dl_info info{};
    link_map* module = nullptr;
    if (::dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 ||
        module == nullptr) {
        return {};
    }
    if (module->l_name == nullptr || module->l_name[0] == '\0') {
        return ExecutablePath();
    }
    return Absolute(module->l_name);
}

std::string DynamicLibrary::DirectoryOf(std::string_view modulePath) {
    if (modulePath.empty() || modulePath.front() != '/') {
        return {};
    }
    return std::string(modulePath.substr(0, modulePath.rfind('/') + 1));
}

std::string DynamicLibrary::InDirectory(std::string directory, std::string_view fileName) {
    if (directory.empty() || directory.back() != '/') {
        directory += '/';
    }
    return directory.append(fileName);
}

void* DynamicLibrary::Symbol(const char* name) const {
    return m_handle != nullptr ? ::dlsym(m_handle, name) : nullptr;
}

DynamicLibrary::OrdinalLookupFn DynamicLibrary::OrdinalLookup(const char* lookupSymbol) const {
    return reinterpret_cast<OrdinalLookupFn>(Symbol(lookupSymbol));
}

std::string DynamicLibrary::Path() const {
    link_map* module = nullptr;
    if (m_handle == nullptr || ::dlinfo(m_handle, RTLD_DI_LINKMAP, &module) != 0 ||
        module == nullptr || module->l_name == nullptr) {
        return {};
    }
    return Absolute(module->l_name);
}

void DynamicLibrary::Close() {
    if (m_handle != nullptr) {
        ::dlclose(std::exchange(m_handle, nullptr));
    }
}

} // namespace qndis
