#include "OrdinalCalls.h"

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace w32n55::test {
namespace {

namespace rr = w32n55abi::receive_record;

std::uint32_t Load32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(Load64(bytes) & 0xFFFFFFFFU);
}

std::uint32_t Request(w32n55abi::Handle adapter, std::uint32_t type, std::uint32_t oid,
                      void* buffer, std::uint32_t length) {
    _RETH_REQUEST request{};
    request.RequestType = type;
    request.Oid = oid;
    request.InformationBuffer = buffer;
    request.InformationBufferLength = length;
    return Call<w32n55abi::kRequest>()(adapter, &request, nullptr, 1);
}

} // namespace

std::uint64_t Load64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

std::uint32_t SetFilter(w32n55abi::Handle adapter, std::uint32_t filter) {
    std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(filter), static_cast<std::uint8_t>(filter >> 8),
        static_cast<std::uint8_t>(filter >> 16), static_cast<std::uint8_t>(filter >> 24)};
    return Request(adapter, NDIS_REQUEST_SET, OID_GEN_CURRENT_PACKET_FILTER, bytes, 4);
}

std::uint32_t Query(w32n55abi::Handle adapter, std::uint32_t oid, std::uint64_t& value,
                    std::uint32_t length) {
    std::uint8_t bytes[8] = {};
    const std::uint32_t status =
        Request(adapter, NDIS_REQUEST_QUERY, oid, bytes, std::min<std::uint32_t>(length, 8));
    value = Load64(bytes);
    return status;
}

OpenedAdapter::OpenedAdapter(const std::string& name)
    : handle_(Call<w32n55abi::kOpenAdapter>()(name.c_str())) {}

OpenedAdapter::~OpenedAdapter() {
    if (Ok()) {
        Call<w32n55abi::kCloseAdapter>()(handle_);
    }
}

EventFd::EventFd() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

EventFd::~EventFd() {
    ::close(fd_);
}

void EventFd::Signal() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(fd_, &one, sizeof one);
}

bool EventFd::Signalled() const {
    pollfd descriptor{fd_, POLLIN, 0};
    return ::poll(&descriptor, 1, 0) == 1;
}

void EventFd::Clear() const {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t ignored = ::read(fd_, &value, sizeof value);
}

Receiver::Receiver(w32n55abi::Handle adapter, std::size_t slots, bool singleArgument, Rearm rearm)
    : adapter_(adapter), singleArgument_(singleArgument), rearm_(rearm) {
    for (std::size_t i = 0; i < slots; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->owner = this;
        slot->index = i;
        slot->capacity = rr::kDataCapacity;
        slots_.push_back(std::move(slot));
    }
}

Receiver::~Receiver() = default;

void Receiver::SetCapacity(std::size_t slot, std::uint32_t capacity) {
    slots_.at(slot)->capacity = capacity;
}

void Receiver::ArmAll() {
    for (const auto& slot : slots_) {
        Arm(*slot);
    }
}

void Receiver::Arm(Slot& slot) {
    slot.record.fill(0);
    std::fill(slot.record.begin() + rr::kDataOffset + slot.capacity, slot.record.end(), kGuard);
    for (int i = 0; i < 4; ++i) {
        slot.record[rr::kCapacityOffset + i] = static_cast<std::uint8_t>(slot.capacity >> (8 * i));
    }
    slot.count = 0;
    slot.overlapped = OVERLAPPED{};
    slot.overlapped.OffsetHigh = reinterpret_cast<ULONG_PTR>(&slot);
    slot.overlapped.hEvent = singleArgument_ ? slot.event.Handle() : nullptr;
    slot.event.Clear();
    void* routine = singleArgument_ ? reinterpret_cast<void*>(&SingleArgument)
                                    : reinterpret_cast<void*>(&ThreeArgument);
    Call<w32n55abi::kStartReceive>()(adapter_, slot.record.data(), &slot.count, &slot.overlapped,
                                     routine);
}

void Receiver::Complete(Slot& slot) {
    const std::uint8_t* record = slot.record.data();
    Completion done{};
    done.slot = slot.index;
    done.packetNumber = Load64(record + rr::kPacketNumberOffset);
    done.timestamp = Load64(record + rr::kTimestampOffset);
    done.length = record[rr::kLengthOffset] | record[rr::kLengthOffset + 1] << 8;
    done.capacity = Load32(record + rr::kCapacityOffset);
    done.count = slot.count;
    done.overlappedBytes = slot.overlapped.InternalHigh;
    done.eventSignalled = slot.event.Signalled();
    const std::size_t kept = std::min<std::size_t>(done.length, slot.capacity);
    done.data.assign(record + rr::kDataOffset, record + rr::kDataOffset + kept);
    done.guardIntact = std::all_of(slot.record.begin() + rr::kDataOffset + slot.capacity,
                                   slot.record.end(), [](std::uint8_t b) { return b == kGuard; });
    got.push_back(std::move(done));
    if (rearm_ == Rearm::FromRoutine) {
        Arm(slot);
    }
}

Receiver::Slot& Receiver::SlotOf(OVERLAPPED* overlapped) {
    return *reinterpret_cast<Slot*>(overlapped->OffsetHigh);
}

void Receiver::ThreeArgument(std::uint32_t, std::uint32_t, OVERLAPPED* overlapped) {
    Slot& slot = SlotOf(overlapped);
    slot.owner->Complete(slot);
}

std::uint32_t Receiver::SingleArgument(OVERLAPPED* overlapped) {
    Slot& slot = SlotOf(overlapped);
    slot.owner->Complete(slot);
    return 0;
}

void Receiver::Pump(std::size_t count, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        Call<w32n55abi::kAlertableWait>()(-1, 20);
    }
}

} // namespace w32n55::test
