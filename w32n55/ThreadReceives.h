#pragma once

#include "qndislib/w32n55abi/Kernel.h"
#include "w32n55/Adapter.h"
#include "w32n55/ArmedReceive.h"
#include "w32n55/ReceiveRing.h"

#include <cstdint>
#include <memory>
#include <vector>
#if !defined(_WIN32)
#include <poll.h>
#endif

namespace w32n55 {

class ThreadWakeup;

// The receives one thread has armed, and the alertable wait that completes
// them on that thread: no thread of the library ever runs a caller's code.
// On Windows the system's own alertable waits complete them: the thread is
// woken with an asynchronous procedure call when frames wait for it.
class ThreadReceives {
public:
    // Results of Wait, as the platform's waits report them.
    static constexpr std::uint32_t kObject = WAIT_OBJECT_0;
    static constexpr std::uint32_t kIoCompletion = WAIT_IO_COMPLETION;
    static constexpr std::uint32_t kTimeout = WAIT_TIMEOUT;
    static constexpr std::uint32_t kFailed = WAIT_FAILED;

    ThreadReceives();

    static ThreadReceives& ForThisThread();

    // Arms on the adapter this thread armed on last when `handle` still
    // names it, which spares the handle lookup on the re-arming path; false
    // when the caller has to look the handle up and call Arm.
    bool ArmAgain(std::int32_t handle, const ArmedReceive& receive);
    void Arm(const std::shared_ptr<Adapter>& adapter, std::int32_t handle,
             const ArmedReceive& receive);
    // Drops the receives armed on `adapter` without completing them.
    void Forget(const Adapter* adapter);
#if defined(_WIN32)
    // Runs on this thread, queued by its wake-up: completes the receives
    // that got a frame, in the order they were armed.
    void CompleteQueued();
#else
    // Waits up to `timeoutMs` (-1: no limit) for frames for the armed
    // receives or for `eventFd` (-1: none) to become readable. Completes the
    // receives that got a frame, in the order they were armed, and then
    // reports kIoCompletion; kObject when the event is readable.
    std::uint32_t Wait(int eventFd, std::int32_t timeoutMs);
#endif

private:
    class Queue;

    Queue& QueueFor(const std::shared_ptr<Adapter>& adapter, std::int32_t handle);
    void DropClosed();
    int DeliverReady();
    void RunCompletions();

    std::vector<std::unique_ptr<Queue>> queues_;
    Queue* lastQueue_ = nullptr;
    std::vector<ArmedReceive> completed_;
#if defined(_WIN32)
    std::shared_ptr<ThreadWakeup> wakeup_;
#else
    std::vector<pollfd> descriptors_;
    std::vector<int> quiet_;
#endif
};

} // namespace w32n55
