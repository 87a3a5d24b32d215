#include "w32n55/ThreadWakeup.h"

#include "w32n55/ThreadReceives.h"

namespace w32n55 {
namespace {

void CALLBACK CompleteReceives(ULONG_PTR) {
    ThreadReceives::ForThisThread().CompleteQueued();
}

} // namespace

// The pseudo-handle of the current thread means the caller's thread
// wherever it is used, so a real handle is taken.
ThreadWakeup::ThreadWakeup() {
    const HANDLE process = ::GetCurrentProcess();
    if (!::DuplicateHandle(process, ::GetCurrentThread(), process, &thread_, THREAD_SET_CONTEXT,
                           FALSE, 0)) {
        thread_ = nullptr;
    }
}

ThreadWakeup::~ThreadWakeup() {
    if (thread_ != nullptr) {
        ::CloseHandle(thread_);
    }
}

bool ThreadWakeup::Wake() const {
    return thread_ != nullptr && ::QueueUserAPC(&CompleteReceives, thread_, 0) != 0;
}

} // namespace w32n55
