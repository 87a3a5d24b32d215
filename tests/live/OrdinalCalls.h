#pragma once

// Test-side callers of the driver-access library: typed ordinal lookups,
// adapters closed on scope exit, and receive records armed and completed
// the way qndislib's packages do it.

#include "qndislib/w32n55abi/W32N55.h"
#include "w32n55/OrdinalTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace w32n55::test {

template <w32n55abi::Ordinal O> typename w32n55abi::Entry<O>::Fn Call() {
    return reinterpret_cast<typename w32n55abi::Entry<O>::Fn>(W32N55_GetProcAddress(O));
}

std::uint64_t Load64(const std::uint8_t* bytes);

// Sets the packet filter; the NDIS status.
std::uint32_t SetFilter(w32n55abi::Handle adapter, std::uint32_t filter);
// Queries a 4-byte (or, with `length` 8, 8-byte) value; the NDIS status.
std::uint32_t Query(w32n55abi::Handle adapter, std::uint32_t oid, std::uint64_t& value,
                    std::uint32_t length = 4);

class OpenedAdapter {
public:
    explicit OpenedAdapter(const std::string& name);
    ~OpenedAdapter();
    OpenedAdapter(const OpenedAdapter&) = delete;
    OpenedAdapter& operator=(const OpenedAdapter&) = delete;

    bool Ok() const { return handle_ != w32n55abi::kNoHandle; }
    w32n55abi::Handle Handle() const { return handle_; }

private:
    w32n55abi::Handle handle_;
};

// A manual-reset event of the platform layer's form: an eventfd.
class EventFd {
public:
    EventFd();
    ~EventFd();
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;

    int Fd() const { return fd_; }
    HANDLE Handle() const { return MakeEventHandle(fd_, true); }
    void Signal() const;
    // Without consuming the signal.
    bool Signalled() const;
    void Clear() const;

private:
    int fd_;
};

struct Completion {
    std::size_t slot;
    std::uint64_t packetNumber;
    std::uint64_t timestamp;
    std::uint32_t length;
    std::uint32_t capacity;
    std::uint32_t count;
    ULONG_PTR overlappedBytes;
    bool eventSignalled;
    // Nothing written past the record's capacity.
    bool guardIntact;
    std::vector<std::uint8_t> data;
};

// Receive records armed on one adapter, completed by the library's routine
// calls in the form the test chooses.
class Receiver {
public:
    enum class Rearm { Never, FromRoutine };

    Receiver(w32n55abi::Handle adapter, std::size_t slots, bool singleArgument, Rearm rearm);
    ~Receiver();
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    void SetCapacity(std::size_t slot, std::uint32_t capacity);
    void ArmAll();
    // Waits alertably until `count` receives completed in all or
    // `timeoutMs` passed.
    void Pump(std::size_t count, int timeoutMs = 3000);

    std::vector<Completion> got;

private:
    static constexpr std::size_t kGuardBytes = 32;
    static constexpr std::uint8_t kGuard = 0xA5;

    struct Slot {
        std::array<std::uint8_t, w32n55abi::receive_record::kBufferSize + kGuardBytes> record;
        std::uint32_t count;
        OVERLAPPED overlapped;
        EventFd event;
        Receiver* owner;
        std::size_t index;
        std::uint32_t capacity;
    };

    void Arm(Slot& slot);
    void Complete(Slot& slot);
    static Slot& SlotOf(OVERLAPPED* overlapped);
    static void ThreeArgument(std::uint32_t error, std::uint32_t bytes, OVERLAPPED* overlapped);
    static std::uint32_t SingleArgument(OVERLAPPED* overlapped);

    w32n55abi::Handle adapter_;
    bool singleArgument_;
    Rearm rearm_;
    std::vector<std::unique_ptr<Slot>> slots_;
};

} // namespace w32n55::test
