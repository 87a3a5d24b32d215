// Modes (a) and (p): libpcap loops with the adapters' settings. (a), the
// reference of the ratios, does what a careful application does with each
// frame: copies it into the next of 200 slots of its own and hands the slot
// to a callback. (p) only counts the frames in place.
#include "bench/capture_receiver.h"
#include "w32n55/CaptureSettings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <pcap/pcap.h>

namespace capture_bench {
namespace {

using w32n55::CaptureSettings;

class PcapReceiver : public CaptureReceiver {
public:
    explicit PcapReceiver(pcap_handler handler = &Count) : handler_(handler) {}
    ~PcapReceiver() override { Close(); }

    bool Open(const std::string& interface, std::string& error) override {
        char message[PCAP_ERRBUF_SIZE] = "";
        capture_ = pcap_create(interface.c_str(), message);
        if (capture_ == nullptr) {
            error = message;
            return false;
        }
        CaptureSettings::Apply(capture_, true);
        if (pcap_activate(capture_) < 0) {
            error = pcap_geterr(capture_);
            Close();
            return false;
        }
        return true;
    }

    ReceiveResult Receive(std::uint64_t target, std::chrono::milliseconds idle) override {
        using Clock = std::chrono::steady_clock;
        auto lastProgress = Clock::now();
        while (result_.frames < target && Clock::now() - lastProgress < idle) {
            const std::uint64_t before = result_.frames;
            if (pcap_dispatch(capture_, -1, handler_, reinterpret_cast<u_char*>(this)) < 0) {
                break;
            }
            if (result_.frames != before) {
                lastProgress = result_.last = Clock::now();
            }
        }
        return result_;
    }

    std::uint64_t Drops() override {
        pcap_stat stats{};
        return capture_ != nullptr && pcap_stats(capture_, &stats) == 0 ? stats.ps_drop : 0;
    }

    void Close() override {
        if (capture_ != nullptr) {
            pcap_close(capture_);
            capture_ = nullptr;
        }
    }

protected:
    void Take(const std::uint8_t* frame, std::uint32_t length) {
        if (IsBenchFrame(frame, length)) {
            ++result_.frames;
        }
    }

private:
    static void Count(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
        reinterpret_cast<PcapReceiver*>(user)->Take(bytes, header->caplen);
    }

    pcap_handler handler_;
    pcap_t* capture_ = nullptr;
    ReceiveResult result_;
};

class CopyingPcapReceiver final : public PcapReceiver {
public:
    CopyingPcapReceiver() : PcapReceiver(&CopyAndHand) {}

private:
    // As large as a receive record's frame room.
    static constexpr std::uint32_t kSlotBytes = CaptureSettings::kSnapLength;
    static constexpr std::size_t kSlots = 200;

    struct Slot {
        std::uint64_t timestampNs;
        std::uint32_t length;
        std::uint32_t wireLength;
        std::array<std::uint8_t, kSlotBytes> bytes;
    };
    using Callback = void (*)(const Slot& slot, void* context);

    static void CopyAndHand(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
        auto* self = reinterpret_cast<CopyingPcapReceiver*>(user);
        Slot& slot = (*self->slots_)[self->next_];
        self->next_ = self->next_ + 1 == kSlots ? 0 : self->next_ + 1;
        slot.length = std::min(header->caplen, kSlotBytes);
        slot.wireLength = header->len;
        // With nanosecond precision the microseconds field holds nanoseconds.
        slot.timestampNs = static_cast<std::uint64_t>(header->ts.tv_sec) * 1000000000u +
                           static_cast<std::uint64_t>(header->ts.tv_usec);
        std::memcpy(slot.bytes.data(), bytes, slot.length);
        self->callback_(slot, self);
    }

    static void OnSlot(const Slot& slot, void* context) {
        static_cast<CopyingPcapReceiver*>(context)->Take(slot.bytes.data(), slot.length);
    }

    std::unique_ptr<std::array<Slot, kSlots>> slots_ = std::make_unique<std::array<Slot, kSlots>>();
    std::size_t next_ = 0;
    // Called through a pointer, as an application's callback is.
    Callback volatile callback_ = &OnSlot;
};

const CaptureReceiverRegistration kCopyRegistration{
    "a", "libpcap, copy into 200 slots, callback",
    []() -> std::unique_ptr<CaptureReceiver> { return std::make_unique<CopyingPcapReceiver>(); }};

const CaptureReceiverRegistration kRegistration{
    "p", "plain libpcap pcap_dispatch",
    []() -> std::unique_ptr<CaptureReceiver> { return std::make_unique<PcapReceiver>(); }};

} // namespace
} // namespace capture_bench
