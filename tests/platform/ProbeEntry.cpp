// The library's objects as a shared object of their own, with one entry the
// loading tests call: the directory rules then apply to this file wherever
// the test puts a copy of it.

#include "qndislib/capture/DriverLibrary.h"
#include "qndislib/capture/ModuleDirectory.h"
#include "qndislib/platform/DynamicLibrary.h"
#include "qndislib/platform/Trace.h"
#include "qndislib/platform/Win32.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

using qndis::DriverLibrary;

std::size_t g_traceLength = 0;

void ReportLoad() {
    const auto style = DriverLibrary::Get<w32n55abi::kCompletionStyle>();
    // The stand-ins answer with a letter that names the copy.
    const int mark = style();
    std::printf("mark=%c\n", std::isprint(mark) != 0 ? mark : '?');
    std::printf(
        "from=%s\n",
        qndis::DynamicLibrary::PathOfModuleContaining(reinterpret_cast<void*>(style)).c_str());
    std::printf("wait=%d\n", DriverLibrary::LoadedAlertableWait() != nullptr ? 1 : 0);
    std::printf("sleep=%u\n", SleepEx(0, TRUE));
    std::printf("relative=%s\n", qndis::ModuleDirectory::FromModulePath("lib/x.so").c_str());
    qndis::detail::SetTraceObserver([](const char* text) { g_traceLength = std::strlen(text); });
    TraceMessage("%s", std::string(2000, 't').c_str());
    qndis::detail::SetTraceObserver(nullptr);
    std::printf("trace=%zu\n", g_traceLength);
}

void ReportSendEntry() {
    DriverLibrary::Resolve(w32n55abi::kSend);
    std::printf("send=resolved\n");
}

// A failed load is not remembered: once the file is there, the next call
// loads it.
void ReportRetry() {
    try {
        DriverLibrary::Resolve(w32n55abi::kCompletionStyle);
        std::printf("first=loaded\n");
    } catch (const CDriverLoadError& error) {
        std::printf("first=%08X\n", error.GetCode());
    }
    const char* source = std::getenv("QNDIS_PROBE_COPY");
    if (source != nullptr) {
        std::filesystem::copy_file(source, qndis::ModuleDirectory::Get() + kW32N55LibraryName);
    }
    ReportLoad();
}

// Threads that make the first call together all get the one library.
void ReportConcurrentFirstCalls() {
    constexpr int kThreads = 8;
    std::array<void*, kThreads> entries{};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back(
            [&entries, i] { entries[i] = DriverLibrary::Resolve(w32n55abi::kCompletionStyle); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const bool same = std::all_of(entries.begin(), entries.end(),
                                  [&](void* entry) { return entry == entries[0]; });
    std::printf("same=%d\n", same && entries[0] != nullptr ? 1 : 0);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int QndisProbe(const char* mode) {
    std::printf("directory=%s\n", qndis::ModuleDirectory::Get().c_str());
    const std::pair<std::string_view, void (*)()> reports[] = {
        {"load", &ReportLoad},
        {"ordinal", &ReportSendEntry},
        {"retry", &ReportRetry},
        {"threads", &ReportConcurrentFirstCalls},
    };
    const auto found = std::find_if(std::begin(reports), std::end(reports),
                                    [mode](const auto& report) { return report.first == mode; });
    if (found == std::end(reports)) {
        return 2;
    }
    try {
        found->second();
    } catch (const CDriverLoadError& error) {
        std::printf("code=%08X\nmessage=%s\n", error.GetCode(), error.what());
    }
    std::fflush(stdout);
    return 0;
}
