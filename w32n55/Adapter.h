#pragma once

#include "qndislib/w32n55abi/Kernel.h"
#include "w32n55/FilterInstruction.h"
#include "w32n55/InformationBuffer.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <span>

namespace w32n55 {

class ThreadWakeup;

struct CapturedFrame {
    const std::uint8_t* data;
    std::uint32_t capturedLength;
    std::uint32_t wireLength;
    std::uint64_t timestampNs;
};

class FrameSink {
public:
    virtual void Deliver(const CapturedFrame& frame) = 0;

protected:
    ~FrameSink() = default;
};

// An open adapter: a live interface or a capture file.
class Adapter {
public:
    virtual ~Adapter() = default;

    // The descriptor that becomes readable when frames wait; -1 for none.
    virtual int PollDescriptor() const = 0;
    // Hands at most `limit` waiting frames to `sink` without blocking;
    // negative when the capture failed for good (the interface went away).
    virtual int Dispatch(int limit, FrameSink& sink) = 0;
    // 0 when the frame went out, EINPROGRESS when it is accepted but goes
    // out later, else an errno code.
    virtual int Send(std::span<const std::uint8_t> frame) = 0;
    // After a send that goes out later: the event it signals then.
    virtual void SignalWhenSent(HANDLE /*event*/) {}
    virtual RequestOutcome Query(std::uint32_t oid, InformationBuffer& buffer) = 0;
    virtual RequestOutcome Set(std::uint32_t oid, InformationBuffer& buffer) = 0;
    virtual RequestOutcome PrivateQuery(std::uint32_t oid, InformationBuffer& buffer) = 0;
    // The interface is gone from the machine: its receives can never
    // complete with a frame.
    virtual bool IsRemoved() const { return false; }
    // Runs `program` on each frame the packet filter passes; empty
    // detaches. 0 when done, else an errno code; the filter in place stays
    // on failure.
    virtual int AttachFilter(std::span<const bpf_insn> program) {
        return program.empty() ? 0 : EOPNOTSUPP;
    }

    void SetHighResolution(bool high) { highResolution_ = high; }
    // Low resolution keeps whole microseconds, as a capture of that
    // precision would have recorded them.
    std::uint64_t Stamp(std::uint64_t ns) const { return highResolution_ ? ns : ns - ns % 1000; }
    std::uint64_t NextPacketNumber() { return ++packets_; }
    // Lost frames keep their numbers, so the next delivered frame shows the gap.
    void SkipPacketNumbers(std::uint64_t lost) { packets_ += lost; }

    // Closed by its handle: receives still armed on other threads are
    // dropped unfinished when those threads next wait.
    void MarkClosed() { closed_ = true; }
    bool IsClosed() const { return closed_; }

#if defined(_WIN32)
    // A thread armed a receive on the adapter: it is woken once frames wait
    // or the adapter is removed, at once if that is so already.
    virtual void WakeWhenReady(const std::shared_ptr<ThreadWakeup>& thread) = 0;
#endif

private:
    std::atomic<bool> closed_ = false;
    bool highResolution_ = true;
    std::uint64_t packets_ = 0;
};

} // namespace w32n55
