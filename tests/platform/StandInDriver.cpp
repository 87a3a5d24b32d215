// A stand-in for libw32n55.so in the loading tests: it tells which copy was
// loaded through its completion-style answer, serves a plain alertable wait,
// and says when it is unloaded.

#include "qndislib/w32n55abi/W32N55.h"

#include <cstdio>
#include <poll.h>

namespace {

__attribute__((destructor)) void ReportUnload() {
    std::printf("unloaded=%c\n", STANDIN_MARK);
    std::fflush(stdout);
}

} // namespace

#ifdef STANDIN_WITHOUT_LOOKUP
extern "C" __attribute__((visibility("default"))) void* SomethingElse(std::uint32_t) {
    return nullptr;
}
#else
namespace {

std::uint8_t CopyMark() {
    return STANDIN_MARK;
}

std::uint32_t PlainWait(int eventFd, std::int32_t timeoutMs) {
    pollfd descriptor{eventFd, POLLIN, 0};
    const int ready = ::poll(&descriptor, eventFd >= 0 ? 1 : 0, timeoutMs);
    if (ready < 0) {
        return WAIT_FAILED;
    }
    return ready == 0 ? WAIT_TIMEOUT : WAIT_OBJECT_0;
}

} // namespace

extern "C" __attribute__((visibility("default"))) void*
W32N55_GetProcAddress(std::uint32_t ordinal) {
    switch (ordinal) {
    case w32n55abi::kCompletionStyle:
        return reinterpret_cast<void*>(&CopyMark);
    case w32n55abi::kAlertableWait:
        return reinterpret_cast<void*>(&PlainWait);
    default:
        return nullptr;
    }
}
#endif
