// Loads a library copy by path, runs its probe, unloads it and reports what
// was mapped and which descriptors were left behind. Run as a child of the
// loading tests so that each case gets its own search path.

#include "tests/support/DescriptorCount.h"

#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <string>

namespace {

bool IsMapped(const std::string& fileName) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.ends_with("/" + fileName)) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s LIBRARY MODE LIBRARY-FILE-NAME\n", argv[0]);
        return 2;
    }
    const std::string libraryName = argv[3];
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    void* library = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::printf("probe-error=%s\n", ::dlerror());
        return 1;
    }
    // Mode "-" only loads and unloads the library.
    if (std::string(argv[2]) != "-") {
        using ProbeFn = int (*)(const char*);
        const auto probe = reinterpret_cast<ProbeFn>(::dlsym(library, "QndisProbe"));
        if (probe == nullptr || probe(argv[2]) != 0) {
            std::printf("probe-error=no probe\n");
            return 1;
        }
    }
    std::printf("mapped=%d\n", IsMapped("libw32n55.so") ? 1 : 0);
    std::fflush(stdout);
    ::dlclose(library);
    std::printf("mapped-after-unload=%d\n", IsMapped("libw32n55.so") ? 1 : 0);
    std::printf("library-mapped-after-unload=%d\n", IsMapped(libraryName) ? 1 : 0);
    std::printf("descriptors-left=%td\n", static_cast<std::ptrdiff_t>(OpenDescriptorCount()) -
                                              static_cast<std::ptrdiff_t>(descriptorsBefore));
    return 0;
}
