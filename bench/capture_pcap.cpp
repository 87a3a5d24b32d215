// Mode (a): the reference, a plain libpcap loop with the adapters' settings.
#include "bench/capture_receiver.h"
#include "w32n55/CaptureSettings.h"

#include <pcap/pcap.h>

namespace capture_bench {
namespace {

using w32n55::CaptureSettings;

class PcapReceiver final : public CaptureReceiver {
public:
    ~PcapReceiver() override { Close(); }

    bool Open(const std::string& interface, std::string& error) override {
        char message[PCAP_ERRBUF_SIZE] = "";
        capture_ = pcap_create(interface.c_str(), message);
        if (capture_ == nullptr) {
            error = message;
            return false;
        }
        pcap_set_snaplen(capture_, CaptureSettings::kSnapLength);
        pcap_set_promisc(capture_, 1);
        pcap_set_timeout(capture_, CaptureSettings::kBlockTimeoutMs);
        pcap_set_immediate_mode(capture_, 0);
        pcap_set_buffer_size(capture_, CaptureSettings::kRingBytes);
        pcap_set_tstamp_precision(capture_, PCAP_TSTAMP_PRECISION_NANO);
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
            if (pcap_dispatch(capture_, -1, Count, reinterpret_cast<u_char*>(&result_.frames)) <
                0) {
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

private:
    static void Count(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
        if (IsBenchFrame(bytes, header->caplen)) {
            ++*reinterpret_cast<std::uint64_t*>(user);
        }
    }

    pcap_t* capture_ = nullptr;
    ReceiveResult result_;
};

const CaptureReceiverRegistration kRegistration{
    "a", "plain libpcap pcap_dispatch",
    []() -> std::unique_ptr<CaptureReceiver> { return std::make_unique<PcapReceiver>(); }};

} // namespace
} // namespace capture_bench
