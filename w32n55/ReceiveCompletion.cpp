#include "w32n55/ReceiveCompletion.h"

#include "qndislib/w32n55abi/EventSignal.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <cstdlib>
#include <string_view>

namespace w32n55 {
namespace {

constexpr std::string_view kStyleVariable = "W32N55_COMPLETION_STYLE";
constexpr std::string_view kSingleStyle = "single";

bool StyleFromEnvironment() {
    const char* value = std::getenv(kStyleVariable.data());
    return value != nullptr && std::string_view(value) == kSingleStyle;
}

} // namespace

std::atomic<bool> ReceiveCompletion::singleArgument_{StyleFromEnvironment()};

void ReceiveCompletion::Run(const ArmedReceive& receive) {
    if (receive.byteCount != nullptr) {
        *receive.byteCount = receive.bytes;
    }
    auto* overlapped = static_cast<OVERLAPPED*>(receive.overlapped);
    if (overlapped != nullptr) {
        overlapped->Internal = receive.status;
        overlapped->InternalHigh = receive.bytes;
    }
    if (receive.singleArgument) {
        if (overlapped != nullptr) {
            w32n55abi::SignalEvent(overlapped->hEvent);
        }
        reinterpret_cast<w32n55abi::SingleArgumentCompletion>(receive.routine)(overlapped);
    } else {
        reinterpret_cast<w32n55abi::ThreeArgumentCompletion>(receive.routine)(
            receive.status, receive.bytes, overlapped);
    }
}

} // namespace w32n55
