#pragma once

#include "w32n55/Adapter.h"
#include "w32n55/Ethtool.h"
#include "w32n55/PacketFilterProgram.h"
#include "w32n55/SysfsInterface.h"

#include <chrono>
#include <memory>
#include <optional>
#include <pcap/pcap.h>
#include <string>
#include <vector>

namespace w32n55 {

// A network interface captured through a libpcap ring. Frames pass the
// kernel only as the NDIS packet filter allows; the filter starts at 0, so
// nothing is delivered before the caller asks for it. Until then (or a
// send) no capture is opened: the adapter's properties and counters come
// from the kernel and need no capture rights.
class LiveAdapter final : public Adapter {
public:
    // Empty with `error` set to ENODEV when there is no such interface.
    // "any" is libpcap's device for all interfaces at once: its frames carry
    // a cooked header, it has no medium, address or counters of its own, and
    // it cannot be made promiscuous.
    static std::unique_ptr<LiveAdapter> Open(const std::string& name, int& error);

    int PollDescriptor() const override;
    int Dispatch(int limit, FrameSink& sink) override;
    int Send(std::span<const std::uint8_t> frame) override;
    RequestOutcome Query(std::uint32_t oid, InformationBuffer& buffer) override;
    RequestOutcome Set(std::uint32_t oid, InformationBuffer& buffer) override;
    RequestOutcome PrivateQuery(std::uint32_t oid, InformationBuffer& buffer) override;
    bool IsRemoved() const override { return removed_; }
    int AttachFilter(std::span<const bpf_insn> program) override;

private:
    struct PcapCloser {
        void operator()(pcap_t* p) const { pcap_close(p); }
    };

    LiveAdapter(SysfsInterface interface, int ifindex);

    // 0 when the capture is open, else an errno code.
    int OpenCapture();
    bool InterfaceGone() const;
    void CountLosses();
    std::optional<std::uint32_t> MediumValue() const;
    bool HasDestinationAddresses() const;
    RequestOutcome QueryMedia(InformationBuffer& buffer) const;
    RequestOutcome QueryLinkSpeed(InformationBuffer& buffer) const;
    RequestOutcome QueryFrameSize(InformationBuffer& buffer, bool withHeader) const;
    RequestOutcome QueryAddress(InformationBuffer& buffer, bool permanent) const;
    RequestOutcome QueryPhysicalMedium(InformationBuffer& buffer) const;
    RequestOutcome QueryDrops(InformationBuffer& buffer);
    RequestOutcome SetPacketFilter(InformationBuffer& buffer);
    bool ApplyPacketFilter(std::uint32_t filter);
    bool InstallKernelProgram(PacketFilterProgram& program);
    bool SetPromiscuousMembership(bool on);

    static constexpr std::chrono::milliseconds kLossCountInterval{1};

    std::unique_ptr<pcap_t, PcapCloser> capture_;
    SysfsInterface interface_;
    Ethtool ethtool_;
    int ifindex_;
    std::uint32_t packetFilter_ = 0;
    // Frames the capture lost, and libpcap's (wrapping) count at the last look.
    std::uint64_t lost_ = 0;
    std::uint32_t dropsSeen_ = 0;
    std::chrono::steady_clock::time_point nextLossCount_;
    // The application's program, run behind the packet filter's.
    std::vector<bpf_insn> kernelFilter_;
    bool promiscuous_ = false;
    bool failed_ = false;
    bool removed_ = false;
};

} // namespace w32n55
