#include "w32n55/ThreadReceives.h"

#include "qndislib/w32n55abi/W32N55.h"
#include "w32n55/ReceiveCompletion.h"
#include "w32n55/ReceiveRecord.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <mutex>
#include <pthread.h>
#if defined(_WIN32)
#include "w32n55/ThreadWakeup.h"
#endif

namespace w32n55 {
namespace {

constexpr std::size_t kCacheLine = 64;
// How far ahead of the frame being delivered the ring is fetched: a dozen
// short frames, or the next long one. The capture ring is written by the
// kernel, often on another core, and read once; without the hint every few
// short frames wait for memory.
constexpr std::size_t kRingLookahead = 2048;

// Starts fetching the cache lines a receive's completion reads next.
void PrefetchForWrite(const void* first) {
    const auto* bytes = static_cast<const std::uint8_t*>(first);
    __builtin_prefetch(bytes, 1);
    __builtin_prefetch(bytes + kCacheLine, 1);
}
// Room for the completions of one wait as a capture hook arms them, taken
// at once rather than in steps while the first frames arrive.
constexpr std::size_t kCompletionRoom = 256;
// A few adapters and the event: the first wait's poll list, likewise.
constexpr std::size_t kDescriptorRoom = 8;

} // namespace

// Every receive looks up its thread's receives. The initial-exec model
// reads the pointer at a fixed offset from the thread pointer instead of
// through a resolver call; it costs a few bytes of the static room the
// loader keeps for libraries loaded later.
#if defined(__ELF__)
#define W32N55_FIXED_OFFSET_TLS __attribute__((tls_model("initial-exec")))
#else
#define W32N55_FIXED_OFFSET_TLS
#endif

// The receives of one adapter on this thread; frames from the adapter fill
// them front first.
class ThreadReceives::Queue final : public FrameSink {
public:
    Queue(std::shared_ptr<Adapter> adapter, std::int32_t handle,
          std::vector<ArmedReceive>& completed)
        : adapter_(std::move(adapter)), handle_(handle), completed_(completed) {}

    Adapter& Owner() const { return *adapter_; }
    std::int32_t Handle() const { return handle_; }
    ReceiveRing& Pending() { return pending_; }

    void Deliver(const CapturedFrame& frame) override {
        // The adapter is never asked for more frames than receives wait.
        ArmedReceive receive = pending_.Pop();
        // A prefetch never faults, so the lookahead may run past the ring.
        __builtin_prefetch(frame.data + kRingLookahead);
        __builtin_prefetch(frame.data + kRingLookahead + kCacheLine);
        // The records are reused round-robin and have long left the cache
        // when their turn comes; fetching the next one's header and first
        // frame bytes now overlaps that miss with this copy.
        if (!pending_.Empty()) {
            PrefetchForWrite(pending_.Front().record);
        }
        receive.bytes = ReceiveRecord::Fill(receive.record, frame, adapter_->NextPacketNumber(),
                                            adapter_->Stamp(frame.timestampNs));
        completed_.push_back(receive);
    }

    // Completes every pending receive without a frame, with `status`.
    void EndPending(std::uint32_t status) {
        while (!pending_.Empty()) {
            ArmedReceive receive = pending_.Pop();
            receive.bytes = 0;
            receive.status = status;
            completed_.push_back(receive);
        }
    }

private:
    std::shared_ptr<Adapter> adapter_;
    std::int32_t handle_;
    std::vector<ArmedReceive>& completed_;
    ReceiveRing pending_;
};

namespace {

// The receives of every thread that used the library. A thread_local object
// with a destructor would pin the library in memory for as long as its
// thread lives (the loader defers unloading until thread-local destructors
// have run), so each thread's receives live on the heap instead: freed when
// the thread ends, and those of threads still running when the library is
// unloaded.
class ThreadRegistry {
public:
    ThreadRegistry() { ::pthread_key_create(&key_, &ThreadRegistry::ThreadEnded); }

    ~ThreadRegistry() {
        ::pthread_key_delete(key_);
        const std::lock_guard lock(mutex_);
        for (ThreadReceives* receives : all_) {
            delete receives;
        }
    }

    ThreadRegistry(const ThreadRegistry&) = delete;
    ThreadRegistry& operator=(const ThreadRegistry&) = delete;

    // Out of line: inlined, its set-up would burden the caller's path for
    // a thread that is already known.
    __attribute__((noinline)) ThreadReceives& Current() {
        if (current_ == nullptr) {
            auto receives = std::make_unique<ThreadReceives>();
            {
                const std::lock_guard lock(mutex_);
                all_.push_back(receives.get());
            }
            ::pthread_setspecific(key_, receives.get());
            current_ = receives.release();
        }
        return *current_;
    }

    // Null before the thread's first use of the library.
    static ThreadReceives* Known() { return current_; }

    static ThreadRegistry& Instance() {
        static ThreadRegistry registry;
        return registry;
    }

private:
    static void ThreadEnded(void* ended) {
        auto* receives = static_cast<ThreadReceives*>(ended);
        ThreadRegistry& registry = Instance();
        {
            const std::lock_guard lock(registry.mutex_);
            std::erase(registry.all_, receives);
        }
        current_ = nullptr;
        delete receives;
    }

    pthread_key_t key_{};
    std::mutex mutex_;
    std::vector<ThreadReceives*> all_;
    static thread_local ThreadReceives* current_ W32N55_FIXED_OFFSET_TLS;
};

W32N55_FIXED_OFFSET_TLS thread_local ThreadReceives* ThreadRegistry::current_ = nullptr;

} // namespace

ThreadReceives::ThreadReceives() {
    completed_.reserve(kCompletionRoom);
#if defined(_WIN32)
    wakeup_ = std::make_shared<ThreadWakeup>();
#else
    descriptors_.reserve(kDescriptorRoom);
#endif
}

ThreadReceives& ThreadReceives::ForThisThread() {
    ThreadReceives* known = ThreadRegistry::Known();
    return known != nullptr ? *known : ThreadRegistry::Instance().Current();
}

ThreadReceives::Queue& ThreadReceives::QueueFor(const std::shared_ptr<Adapter>& adapter,
                                                std::int32_t handle) {
    if (lastQueue_ != nullptr && &lastQueue_->Owner() == adapter.get()) {
        return *lastQueue_;
    }
    const auto found = std::find_if(queues_.begin(), queues_.end(), [&](const auto& queue) {
        return &queue->Owner() == adapter.get();
    });
    if (found != queues_.end()) {
        lastQueue_ = found->get();
    } else {
        lastQueue_ =
            queues_.emplace_back(std::make_unique<Queue>(adapter, handle, completed_)).get();
    }
    return *lastQueue_;
}

bool ThreadReceives::ArmAgain(std::int32_t handle, const ArmedReceive& receive) {
    // A closed adapter keeps its queue until the next wait drops it, so the
    // closed mark decides, not the queue's presence.
    if (lastQueue_ == nullptr || lastQueue_->Handle() != handle || lastQueue_->Owner().IsClosed()) {
        return false;
    }
    lastQueue_->Pending().Push(receive);
#if defined(_WIN32)
    lastQueue_->Owner().WakeWhenReady(wakeup_);
#endif
    return true;
}

void ThreadReceives::Arm(const std::shared_ptr<Adapter>& adapter, std::int32_t handle,
                         const ArmedReceive& receive) {
    QueueFor(adapter, handle).Pending().Push(receive);
#if defined(_WIN32)
    adapter->WakeWhenReady(wakeup_);
#endif
}

void ThreadReceives::Forget(const Adapter* adapter) {
    lastQueue_ = nullptr;
    std::erase_if(queues_, [adapter](const auto& queue) { return &queue->Owner() == adapter; });
}

void ThreadReceives::DropClosed() {
    const bool anyClosed = std::any_of(queues_.begin(), queues_.end(),
                                       [](const auto& queue) { return queue->Owner().IsClosed(); });
    if (anyClosed) {
        lastQueue_ = nullptr;
        std::erase_if(queues_, [](const auto& queue) { return queue->Owner().IsClosed(); });
    }
}

int ThreadReceives::DeliverReady() {
    DropClosed();
    int delivered = 0;
    for (const auto& queue : queues_) {
        ReceiveRing& pending = queue->Pending();
        if (pending.Empty()) {
            continue;
        }
        const int limit = static_cast<int>(
            std::min<std::size_t>(pending.Size(), std::numeric_limits<int>::max()));
        const int got = queue->Owner().Dispatch(limit, *queue);
        if (got < 0 && queue->Owner().IsRemoved()) {
            queue->EndPending(NDIS_STATUS_ADAPTER_REMOVED);
        }
        delivered += std::max(got, 0);
    }
    return delivered;
}

void ThreadReceives::RunCompletions() {
    // A routine may wait alertably itself and so complete further receives
    // inside this loop; they collect in a list of their own.
    std::vector<ArmedReceive> batch = std::move(completed_);
    completed_.clear();
    std::size_t next = 0;
    try {
        for (; next < batch.size(); ++next) {
            // All records of the batch were filled before the first routine
            // ran, so the later ones have left the nearest cache again.
            if (next + 1 < batch.size()) {
                PrefetchForWrite(batch[next + 1].record);
                __builtin_prefetch(batch[next + 1].overlapped, 1);
            }
            ReceiveCompletion::Run(batch[next]);
        }
    } catch (...) {
        // The exception is the caller's own, from a routine: it goes on to
        // the waiting caller, and the receives whose routines have not run
        // yet complete in the next wait instead of never.
        completed_.insert(completed_.begin(), batch.begin() + static_cast<std::ptrdiff_t>(next) + 1,
                          batch.end());
#if defined(_WIN32)
        if (!completed_.empty()) {
            wakeup_->Wake();
        }
#endif
        throw;
    }
    batch.clear();
    if (completed_.empty()) {
        completed_ = std::move(batch);
    }
}

#if defined(_WIN32)

void ThreadReceives::CompleteQueued() {
    DeliverReady();
    // Receives still waiting want the wake-up of the next frame.
    for (const auto& queue : queues_) {
        if (!queue->Pending().Empty()) {
            queue->Owner().WakeWhenReady(wakeup_);
        }
    }
    if (!completed_.empty()) {
        RunCompletions();
    }
}

#else

std::uint32_t ThreadReceives::Wait(int eventFd, std::int32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    // Descriptors that reported an error without yielding a frame stay out
    // of the poll for the rest of this wait, or the wait would spin on them.
    quiet_.clear();
    for (;;) {
        if (DeliverReady() > 0 || !completed_.empty()) {
            RunCompletions();
            return kIoCompletion;
        }
        descriptors_.clear();
        for (const auto& queue : queues_) {
            const int fd = queue->Owner().PollDescriptor();
            if (!queue->Pending().Empty() && fd >= 0 &&
                std::find(quiet_.begin(), quiet_.end(), fd) == quiet_.end()) {
                descriptors_.push_back({fd, POLLIN, 0});
            }
        }
        if (eventFd >= 0) {
            descriptors_.push_back({eventFd, POLLIN, 0});
        }
        int remaining = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            remaining = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
        const int ready = ::poll(descriptors_.data(), descriptors_.size(), remaining);
        if (ready < 0 && errno != EINTR) {
            return kFailed;
        }
        if (ready == 0) {
            return kTimeout;
        }
        if (ready < 0) {
            continue;
        }
        if (eventFd >= 0 && (descriptors_.back().revents & (POLLIN | POLLERR | POLLNVAL)) != 0) {
            return (descriptors_.back().revents & POLLIN) != 0 ? kObject : kFailed;
        }
        for (const pollfd& descriptor : descriptors_) {
            if ((descriptor.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                quiet_.push_back(descriptor.fd);
            }
        }
    }
}

#endif

} // namespace w32n55
