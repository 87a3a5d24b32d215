#include "w32n55/LiveAdapter.h"

#include "qndislib/w32n55abi/W32N55.h"
#include "w32n55/CaptureSettings.h"
#include "w32n55/LastError.h"
#include "w32n55/OidCatalog.h"
#include "w32n55/PcapDelivery.h"

#include <cerrno>
#include <chrono>
#include <limits>
#include <linux/filter.h>
#include <linux/if_arp.h>
#include <linux/if_packet.h>
#include <string_view>
#include <sys/socket.h>
#include <utility>

namespace w32n55 {
namespace {

constexpr std::uint32_t kEthernetHeaderBytes = 14;
// libpcap's device for every interface at once, whose frames carry a cooked
// header; no interface has its index.
constexpr std::string_view kAllInterfaces = "any";
constexpr int kNoIfindex = 0;
// OID_GEN_LINK_SPEED counts in units of 100 bit/s.
constexpr std::uint64_t kLinkSpeedUnitsPerMbps = 10000;

struct MediumOfType {
    std::uint32_t arpType;
    std::uint32_t medium;
};

constexpr MediumOfType kMediumOfType[] = {
    {ARPHRD_ETHER, NdisMedium802_3},      {ARPHRD_LOOPBACK, NdisMedium802_3},
    {ARPHRD_IEEE802, NdisMedium802_5},    {ARPHRD_IEEE802_TR, NdisMedium802_5},
    {ARPHRD_FDDI, NdisMediumFddi},        {ARPHRD_PPP, NdisMediumWan},
    {ARPHRD_NONE, NdisMediumWan},         {ARPHRD_RAWIP, NdisMediumWan},
    {ARPHRD_TUNNEL, NdisMediumWan},       {ARPHRD_TUNNEL6, NdisMediumWan},
    {ARPHRD_SIT, NdisMediumWan},          {ARPHRD_IPGRE, NdisMediumWan},
    {ARPHRD_ARCNET, NdisMediumArcnetRaw}, {ARPHRD_ATM, NdisMediumAtm},
    {ARPHRD_IRDA, NdisMediumIrda},        {ARPHRD_IEEE1394, NdisMedium1394},
};

int ActivationErrno(int status) {
    switch (status) {
    case PCAP_ERROR_NO_SUCH_DEVICE:
        return ENODEV;
    case PCAP_ERROR_PERM_DENIED:
    case PCAP_ERROR_PROMISC_PERM_DENIED:
        return EPERM;
    case PCAP_ERROR_IFACE_NOT_UP:
        return ENETDOWN;
    default:
        return errno != 0 ? errno : EIO;
    }
}

} // namespace

std::unique_ptr<LiveAdapter> LiveAdapter::Open(const std::string& name, int& error) {
    SysfsInterface interface { name };
    if (name == kAllInterfaces) {
        return std::unique_ptr<LiveAdapter>(new LiveAdapter(std::move(interface), kNoIfindex));
    }
    const auto ifindex = interface.Number("ifindex");
    if (!interface.Exists() || !ifindex) {
        error = ENODEV;
        return nullptr;
    }
    return std::unique_ptr<LiveAdapter>(
        new LiveAdapter(std::move(interface), static_cast<int>(*ifindex)));
}

LiveAdapter::LiveAdapter(SysfsInterface interface, int ifindex)
    : interface_(std::move(interface)), ethtool_(interface_.Name()), ifindex_(ifindex) {}

int LiveAdapter::OpenCapture() {
    if (capture_) {
        return 0;
    }
    if (removed_ || failed_) {
        return removed_ ? ENODEV : ENETDOWN;
    }
    char message[PCAP_ERRBUF_SIZE] = "";
    std::unique_ptr<pcap_t, PcapCloser> capture(pcap_create(interface_.Name().c_str(), message));
    if (!capture) {
        return ENOMEM;
    }
    pcap_t* p = capture.get();
    CaptureSettings::Apply(p, false);
    errno = 0;
    const int status = pcap_activate(p);
    if (status < 0) {
        return ActivationErrno(status);
    }
    if (pcap_setnonblock(p, 1, message) != 0) {
        return EIO;
    }
    capture_ = std::move(capture);
    return 0;
}

bool LiveAdapter::InterfaceGone() const {
    return ifindex_ != kNoIfindex &&
           interface_.Number("ifindex") != static_cast<std::uint64_t>(ifindex_);
}

int LiveAdapter::PollDescriptor() const {
    return capture_ ? pcap_get_selectable_fd(capture_.get()) : -1;
}

void LiveAdapter::CountLosses() {
    pcap_stat stats{};
    if (pcap_stats(capture_.get(), &stats) != 0) {
        return;
    }
    // libpcap's count is 32 bits wide and wraps; the difference does not mind.
    const std::uint32_t newlyLost = stats.ps_drop - dropsSeen_;
    dropsSeen_ = stats.ps_drop;
    lost_ += newlyLost;
    SkipPacketNumbers(newlyLost);
}

int LiveAdapter::Dispatch(int limit, FrameSink& sink) {
    if (removed_ || failed_) {
        return -1;
    }
    if (!capture_) {
        return 0;
    }
    // Reading the drop count costs a system call; one look a millisecond puts
    // the losses of a flood among its frames as near as matters, and the
    // first dispatch after a quiet spell always looks.
    const auto now = std::chrono::steady_clock::now();
    if (now >= nextLossCount_) {
        CountLosses();
        nextLossCount_ = now + kLossCountInterval;
    }
    const int got =
        pcap_dispatch(capture_.get(), limit, DeliverPcapFrame, reinterpret_cast<u_char*>(&sink));
    if (got < 0) {
        // The interface went away or down; its descriptor would report that
        // error on every poll from now on. A vanished one takes its socket
        // and ring with it at once.
        if (InterfaceGone()) {
            CountLosses();
            removed_ = true;
            capture_.reset();
        } else {
            failed_ = true;
        }
    }
    return got;
}

int LiveAdapter::Send(std::span<const std::uint8_t> frame) {
    if (frame.empty() || frame.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return EINVAL;
    }
    if (!capture_) {
        if (const int error = OpenCapture(); error != 0) {
            return error;
        }
        if (!ApplyPacketFilter(packetFilter_)) {
            return EIO;
        }
    }
    errno = 0;
    if (pcap_inject(capture_.get(), frame.data(), frame.size()) < 0) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

std::optional<std::uint32_t> LiveAdapter::MediumValue() const {
    const auto type = interface_.Number("type");
    if (!type) {
        return std::nullopt;
    }
    for (const auto& entry : kMediumOfType) {
        if (entry.arpType == *type) {
            return entry.medium;
        }
    }
    return std::nullopt;
}

bool LiveAdapter::HasDestinationAddresses() const {
    return MediumValue() == NdisMedium802_3;
}

RequestOutcome LiveAdapter::Query(std::uint32_t oid, InformationBuffer& buffer) {
    // The losses stay known after the interface is gone.
    if (oid == OID_GEN_RCV_NO_BUFFER) {
        return QueryDrops(buffer);
    }
    if (removed_ || InterfaceGone()) {
        return RequestOutcome::Refused(NDIS_STATUS_ADAPTER_REMOVED);
    }
    if (const auto statistic = OidCatalog::KernelStatistic(oid)) {
        const auto value = interface_.Counter(*statistic);
        return value ? buffer.PutCounter(*value)
                     : RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
    }
    switch (oid) {
    case OID_GEN_MEDIA_SUPPORTED:
    case OID_GEN_MEDIA_IN_USE:
        return QueryMedia(buffer);
    case OID_GEN_MAXIMUM_FRAME_SIZE:
        return QueryFrameSize(buffer, false);
    case OID_GEN_MAXIMUM_TOTAL_SIZE:
        return QueryFrameSize(buffer, true);
    case OID_GEN_LINK_SPEED:
        return QueryLinkSpeed(buffer);
    case OID_GEN_VENDOR_DESCRIPTION: {
        const auto description = ethtool_.DriverDescription();
        return description ? buffer.PutText(*description)
                           : RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
    }
    case OID_GEN_CURRENT_PACKET_FILTER:
        return buffer.PutULong(packetFilter_);
    case OID_GEN_PHYSICAL_MEDIUM:
        return QueryPhysicalMedium(buffer);
    case OID_802_3_CURRENT_ADDRESS:
        return QueryAddress(buffer, false);
    case OID_802_3_PERMANENT_ADDRESS:
        return QueryAddress(buffer, true);
    default:
        return RequestOutcome::Refused(OidCatalog::IsKnown(oid) ? NDIS_STATUS_NOT_SUPPORTED
                                                                : NDIS_STATUS_INVALID_OID);
    }
}

RequestOutcome LiveAdapter::QueryMedia(InformationBuffer& buffer) const {
    const auto medium = MediumValue();
    if (!medium) {
        return RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
    }
    const std::uint32_t media[] = {*medium};
    return buffer.PutULongs(media);
}

RequestOutcome LiveAdapter::QueryFrameSize(InformationBuffer& buffer, bool withHeader) const {
    const auto mtu = interface_.Number("mtu");
    if (!mtu || *mtu > std::numeric_limits<std::uint32_t>::max() - kEthernetHeaderBytes) {
        return RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
    }
    const bool addHeader = withHeader && HasDestinationAddresses();
    return buffer.PutULong(static_cast<std::uint32_t>(*mtu) +
                           (addHeader ? kEthernetHeaderBytes : 0));
}

RequestOutcome LiveAdapter::QueryLinkSpeed(InformationBuffer& buffer) const {
    auto mbps = interface_.Number("speed");
    if (!mbps || *mbps == 0) {
        if (!ethtool_.HasLinkSettings()) {
            return RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
        }
        mbps = ethtool_.SpeedMbps();
    }
    // A driver with link settings but no speed has no link at the moment;
    // that is not a refusal of the OID, which would stick in callers' lists.
    if (!mbps) {
        return RequestOutcome::Refused(NDIS_STATUS_ADAPTER_NOT_READY);
    }
    const std::uint64_t units = *mbps * kLinkSpeedUnitsPerMbps;
    return buffer.PutULong(static_cast<std::uint32_t>(
        std::min<std::uint64_t>(units, std::numeric_limits<std::uint32_t>::max())));
}

RequestOutcome LiveAdapter::QueryAddress(InformationBuffer& buffer, bool permanent) const {
    if (!HasDestinationAddresses()) {
        return RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
    }
    auto address = permanent ? ethtool_.PermanentAddress() : std::nullopt;
    if (!address) {
        address = interface_.Address();
    }
    return address ? buffer.PutBytes(*address) : RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
}

RequestOutcome LiveAdapter::QueryPhysicalMedium(InformationBuffer& buffer) const {
    // Wired Ethernet has no physical-medium value of its own; NDIS calls it
    // unspecified.
    std::uint32_t physical = NdisPhysicalMediumUnspecified;
    const auto deviceType = interface_.DeviceType();
    const auto type = interface_.Number("type");
    if (deviceType == "wlan") {
        physical = NdisPhysicalMediumWirelessLan;
    } else if (deviceType == "wwan") {
        physical = NdisPhysicalMediumWirelessWan;
    } else if (type == ARPHRD_IEEE1394) {
        physical = NdisPhysicalMedium1394;
    } else if (type >= ARPHRD_FCPP && type <= ARPHRD_FCFABRIC) {
        physical = NdisPhysicalMediumFibreChannel;
    }
    return buffer.PutULong(physical);
}

RequestOutcome LiveAdapter::QueryDrops(InformationBuffer& buffer) {
    if (capture_) {
        CountLosses();
    }
    return buffer.PutCounter(lost_);
}

RequestOutcome LiveAdapter::PrivateQuery(std::uint32_t oid, InformationBuffer& buffer) {
    if (oid != OID_W32N55_SOFT_MISSED_FRAMES) {
        return RequestOutcome::Refused(NDIS_STATUS_INVALID_OID);
    }
    const auto dropped = interface_.Counter("rx_dropped");
    if (!dropped) {
        return RequestOutcome::Refused(ifindex_ == kNoIfindex ? NDIS_STATUS_NOT_SUPPORTED
                                                              : NDIS_STATUS_ADAPTER_REMOVED);
    }
    return buffer.PutCounter(*dropped);
}

RequestOutcome LiveAdapter::Set(std::uint32_t oid, InformationBuffer& buffer) {
    if (oid == OID_GEN_CURRENT_PACKET_FILTER) {
        return SetPacketFilter(buffer);
    }
    return RequestOutcome::Refused(OidCatalog::IsKnown(oid) ? NDIS_STATUS_NOT_SUPPORTED
                                                            : NDIS_STATUS_INVALID_OID);
}

RequestOutcome LiveAdapter::SetPacketFilter(InformationBuffer& buffer) {
    const auto filter = buffer.GetULong();
    if (!filter) {
        return {NDIS_STATUS_INVALID_LENGTH, 0, 4};
    }
    if ((*filter & ~kSupportedPacketTypes) != 0) {
        return RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
    }
    if (!ApplyPacketFilter(*filter)) {
        return RequestOutcome::Refused(NDIS_STATUS_FAILURE);
    }
    // For a set the count field carries the bytes read.
    return {NDIS_STATUS_SUCCESS, 4, 0};
}

bool LiveAdapter::ApplyPacketFilter(std::uint32_t filter) {
    if (!capture_ && filter == 0) {
        packetFilter_ = 0;
        return true;
    }
    if (const int error = OpenCapture(); error != 0) {
        LastError::Set(error);
        return false;
    }
    const bool ethernet = HasDestinationAddresses();
    const MacBytes station = ethernet ? interface_.Address().value_or(MacBytes{}) : MacBytes{};
    PacketFilterProgram program(filter, station, ethernet, CaptureSettings::kSnapLength);
    if (!InstallKernelProgram(program)) {
        return false;
    }
    const bool promiscuous = (filter & NDIS_PACKET_TYPE_PROMISCUOUS) != 0;
    if (promiscuous != promiscuous_ && !SetPromiscuousMembership(promiscuous)) {
        return false;
    }
    packetFilter_ = filter;
    return true;
}

// libpcap would quietly filter in user space what the kernel refuses, so
// the application's program goes to the socket directly, where a refusal
// is seen. libpcap still gets the packet filter's program: it filters the
// frames already waiting in the ring with the last program it was given.
bool LiveAdapter::InstallKernelProgram(PacketFilterProgram& program) {
    bpf_program packetCode = program.Program();
    if (pcap_setfilter(capture_.get(), &packetCode) != 0) {
        return false;
    }
    if (kernelFilter_.empty()) {
        return true;
    }
    std::vector<bpf_insn> combined =
        program.FollowedBy(kernelFilter_, CaptureSettings::kSnapLength);
    static_assert(sizeof(bpf_insn) == sizeof(sock_filter));
    if (combined.size() > BPF_MAXINSNS) {
        errno = EINVAL;
        return false;
    }
    const sock_fprog code{static_cast<unsigned short>(combined.size()),
                          reinterpret_cast<sock_filter*>(combined.data())};
    return ::setsockopt(pcap_fileno(capture_.get()), SOL_SOCKET, SO_ATTACH_FILTER, &code,
                        sizeof code) == 0;
}

int LiveAdapter::AttachFilter(std::span<const bpf_insn> program) {
    if (!capture_ && program.empty()) {
        kernelFilter_.clear();
        return 0;
    }
    // The kernel judges a program on a capture socket, so attaching opens the
    // capture: a refused program is told now, not when reception starts.
    if (failed_) {
        return ENETDOWN;
    }
    if (const int error = OpenCapture(); error != 0) {
        return error;
    }
    std::vector<bpf_insn> previous = std::exchange(kernelFilter_, {program.begin(), program.end()});
    errno = 0;
    if (!ApplyPacketFilter(packetFilter_)) {
        const int error = errno != 0 ? errno : EINVAL;
        kernelFilter_ = std::move(previous);
        ApplyPacketFilter(packetFilter_);
        return error;
    }
    return 0;
}

bool LiveAdapter::SetPromiscuousMembership(bool on) {
    // The kernel drops a socket's memberships with the socket, so no exit
    // path can leave the interface promiscuous behind.
    packet_mreq request{};
    request.mr_ifindex = ifindex_;
    request.mr_type = PACKET_MR_PROMISC;
    const int option = on ? PACKET_ADD_MEMBERSHIP : PACKET_DROP_MEMBERSHIP;
    if (::setsockopt(pcap_fileno(capture_.get()), SOL_PACKET, option, &request, sizeof request) !=
        0) {
        return false;
    }
    promiscuous_ = on;
    return true;
}

} // namespace w32n55
