#include "w32n55/FileAdapter.h"

#include "qndislib/w32n55abi/W32N55.h"
#include "w32n55/OidCatalog.h"
#include "w32n55/PacketFilterProgram.h"
#include "w32n55/PcapDelivery.h"

#include <cerrno>
#include <cstdio>
#include <utility>

namespace w32n55 {
std::unique_ptr<FileAdapter> FileAdapter::Open(const std::string& path, int& error) {
    // Opening the stream here keeps the errno of a missing or unreadable
    // file, which libpcap would turn into text.
    std::FILE* stream = std::fopen(path.c_str(), "rbe");
    if (stream == nullptr) {
        error = errno;
        return nullptr;
    }
    char message[PCAP_ERRBUF_SIZE] = "";
    std::unique_ptr<pcap_t, PcapCloser> capture(
        pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, message));
    if (!capture) {
        std::fclose(stream);
        error = EINVAL;
        return nullptr;
    }
    if (pcap_datalink(capture.get()) != DLT_EN10MB) {
        error = EMEDIUMTYPE;
        return nullptr;
    }
    return std::unique_ptr<FileAdapter>(new FileAdapter(std::move(capture)));
}

FileAdapter::FileAdapter(std::unique_ptr<pcap_t, PcapCloser> capture)
    : capture_(std::move(capture)) {}

bool FileAdapter::HasFramesToPlay() const {
    // A filter of 0 holds the file back instead of discarding its frames:
    // nothing is lost between opening it and starting reception.
    return !finished_ && packetFilter_ != 0;
}

int FileAdapter::Dispatch(int limit, FrameSink& sink) {
    if (!HasFramesToPlay()) {
        return 0;
    }
    const int got =
        pcap_dispatch(capture_.get(), limit, DeliverPcapFrame, reinterpret_cast<u_char*>(&sink));
    // A damaged tail ends the file like its end does; the frames before it
    // have been delivered.
    if (got <= 0) {
        finished_ = true;
        return 0;
    }
    return got;
}

int FileAdapter::Send(std::span<const std::uint8_t>) {
    return EROFS;
}

RequestOutcome FileAdapter::Query(std::uint32_t oid, InformationBuffer& buffer) {
    switch (oid) {
    case OID_GEN_MEDIA_SUPPORTED:
    case OID_GEN_MEDIA_IN_USE: {
        const std::uint32_t media[] = {NdisMedium802_3};
        return buffer.PutULongs(media);
    }
    case OID_GEN_CURRENT_PACKET_FILTER:
        return buffer.PutULong(packetFilter_);
    default:
        // A file knows no counters, link or hardware address.
        return RequestOutcome::Refused(OidCatalog::IsKnown(oid) ? NDIS_STATUS_NOT_SUPPORTED
                                                                : NDIS_STATUS_INVALID_OID);
    }
}

RequestOutcome FileAdapter::Set(std::uint32_t oid, InformationBuffer& buffer) {
    if (oid != OID_GEN_CURRENT_PACKET_FILTER) {
        return RequestOutcome::Refused(OidCatalog::IsKnown(oid) ? NDIS_STATUS_NOT_SUPPORTED
                                                                : NDIS_STATUS_INVALID_OID);
    }
    const auto filter = buffer.GetULong();
    if (!filter) {
        return {NDIS_STATUS_INVALID_LENGTH, 0, 4};
    }
    if ((*filter & ~kSupportedPacketTypes) != 0) {
        return RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
    }
    // A file records what some other station saw and has no station address
    // to compare with, so any nonzero filter plays every frame.
    packetFilter_ = *filter;
    return {NDIS_STATUS_SUCCESS, 4, 0};
}

RequestOutcome FileAdapter::PrivateQuery(std::uint32_t oid, InformationBuffer&) {
    return RequestOutcome::Refused(oid == OID_W32N55_SOFT_MISSED_FRAMES ? NDIS_STATUS_NOT_SUPPORTED
                                                                        : NDIS_STATUS_INVALID_OID);
}

} // namespace w32n55
