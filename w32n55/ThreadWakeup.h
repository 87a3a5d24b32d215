#pragma once

#include <windows.h>

namespace w32n55 {

// How frames reach a thread on Windows: an asynchronous procedure call
// queued to the thread that armed the receives, which the system runs on
// that thread in its next alertable wait (SleepEx, WaitForSingleObjectEx),
// as it runs a driver's completion routines.
class ThreadWakeup {
public:
    // Of the calling thread.
    ThreadWakeup();
    ~ThreadWakeup();
    ThreadWakeup(const ThreadWakeup&) = delete;
    ThreadWakeup& operator=(const ThreadWakeup&) = delete;

    // Queues the completion of the thread's receives; false when the thread
    // can take no call any more.
    bool Wake() const;

private:
    HANDLE thread_ = nullptr;
};

} // namespace w32n55
