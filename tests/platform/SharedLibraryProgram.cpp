// An application of libqndislib.so. With "none" it constructs no hook and
// lists no adapters, and reports where the library came from, that the
// Ethernet medium was ready at once and whether the driver library got
// mapped. With "hook" it constructs a hook, which reaches the driver
// library, and reports which file was mapped or the load error.

#include "qndislib/qndislib.h"

#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <memory>
#include <string>

namespace {

std::string MappedPath(const std::string& fileName) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.ends_with("/" + fileName)) {
            return line.substr(line.find('/'));
        }
    }
    return {};
}

void WithoutDriver() {
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::printf("event=%u\n", WaitForSingleObjectEx(event, 5, TRUE));
    CloseHandle(event);
    std::printf("sleep=%u\n", SleepEx(1, TRUE));
    TraceMessage("program %d", 1);
}

void WithHook() {
    try {
        const auto hook = std::make_unique<CNdisHook>();
        std::printf("hook=1\n");
    } catch (const CDriverLoadError& error) {
        std::printf("code=%08X\nmessage=%s\n", error.GetCode(), error.what());
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<CMediaInfo> ethernet(CreateMedium("Ethernet"));
    std::printf("ethernet=%d\n", ethernet != nullptr ? 1 : 0);
    Dl_info info{};
    ::dladdr(reinterpret_cast<void*>(&CreateMedium), &info);
    std::printf("qndislib=%s\n", info.dli_fname != nullptr ? info.dli_fname : "");
    if (argc > 1 && std::string(argv[1]) == "hook") {
        WithHook();
    } else {
        WithoutDriver();
    }
    const std::string driver = MappedPath("libw32n55.so");
    std::printf("mapped=%d\ndriver=%s\n", driver.empty() ? 0 : 1, driver.c_str());
    return 0;
}
