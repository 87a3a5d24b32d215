#include "qndislib/platform/Trace.h"

#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<qndis::detail::TraceObserver> g_observer{nullptr};

// Longer messages are cut: a trace line is a diagnostic, not data.
constexpr std::size_t kMaxTraceText = 1024;

} // namespace

void TraceMessage(const char* format, ...) {
    const auto observer = g_observer.load(std::memory_order_acquire);
    if (observer == nullptr || format == nullptr) {
        return;
    }
    std::array<char, kMaxTraceText> text{};
    va_list args;
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    observer(text.data());
}

namespace qndis::detail {

void SetTraceObserver(TraceObserver observer) {
    g_observer.store(observer, std::memory_order_release);
}

} // namespace qndis::detail
