#include "qndislib/capture/ModuleDirectory.h"

#include "qndislib/platform/DynamicLibrary.h"

#include <algorithm>
#include <array>
#include <mutex>

namespace qndis {

namespace {

// Fixed storage without a destructor: the directory stays readable however
// late at unload the driver library is released.
constinit std::array<char, ModuleDirectory::kMaxPath> g_directory{};
constinit std::once_flag g_determined;

// Any object of this file lies in the image of the module holding qndislib.
constexpr char kAnchor = 0;

} // namespace

std::string ModuleDirectory::FromModulePath(std::string_view modulePath) {
    if (modulePath.size() >= kMaxPath) {
        return {};
    }
    return DynamicLibrary::DirectoryOf(modulePath);
}

std::optional<std::string> ModuleDirectory::LibraryPath(std::string_view directory,
                                                        std::string_view fileName) {
    if (directory.empty()) {
        return std::nullopt;
    }
    std::string path = DynamicLibrary::InDirectory(std::string(directory), fileName);
    if (path.size() + 1 > kMaxPath) {
        return std::nullopt;
    }
    return path;
}

void ModuleDirectory::Determine() {
    std::call_once(g_determined, [] {
        const std::string directory =
            FromModulePath(DynamicLibrary::PathOfModuleContaining(&kAnchor));
        std::copy(directory.begin(), directory.end(), g_directory.begin());
    });
}

std::string ModuleDirectory::Get() {
    Determine();
    return std::string(g_directory.data());
}

} // namespace qndis
