// An application of libqndislib.so that constructs no hook and lists no
// adapters: it reports where the library came from, that the Ethernet
// medium was ready at once, and whether the driver library got mapped.

#include "qndislib/qndislib.h"

#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <memory>
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

int main() {
    const std::unique_ptr<CMediaInfo> ethernet(CreateMedium("Ethernet"));
    std::printf("ethernet=%d\n", ethernet != nullptr ? 1 : 0);
    Dl_info info{};
    ::dladdr(reinterpret_cast<void*>(&CreateMedium), &info);
    std::printf("qndislib=%s\n", info.dli_fname != nullptr ? info.dli_fname : "");
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::printf("event=%u\n", WaitForSingleObjectEx(event, 5, TRUE));
    CloseHandle(event);
    std::printf("sleep=%u\n", SleepEx(1, TRUE));
    TraceMessage("program %d", 1);
    std::printf("mapped=%d\n", IsMapped("libw32n55.so") ? 1 : 0);
    return 0;
}
