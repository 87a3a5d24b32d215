#include "tools/qndis/PcapWriter.h"

#include "tools/qndis/ToolError.h"

#include <pcap/pcap.h>

namespace qndis::tool {

namespace {

constexpr int SnapLength = 65535;
constexpr std::uint64_t NanosecondsPerSecond = 1'000'000'000;

} // namespace

void PcapWriter::PcapClose::operator()(pcap* handle) const {
    pcap_close(handle);
}

void PcapWriter::DumperClose::operator()(pcap_dumper* dumper) const {
    pcap_dump_close(dumper);
}

PcapWriter::PcapWriter(const std::string& path)
    : m_path(path), m_handle(pcap_open_dead_with_tstamp_precision(DLT_EN10MB, SnapLength,
                                                                  PCAP_TSTAMP_PRECISION_NANO)) {
    if (!m_handle) {
        throw ToolError("cannot prepare a pcap file (out of memory).");
    }
    m_dumper.reset(pcap_dump_open(m_handle.get(), path.c_str()));
    if (!m_dumper) {
        throw ToolError("cannot create '" + path + "': " + pcap_geterr(m_handle.get()) + ".");
    }
}

PcapWriter::~PcapWriter() = default;

void PcapWriter::Write(const unsigned char* data, std::uint32_t capturedLength,
                       std::uint32_t originalLength, std::uint64_t nanoseconds) {
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(nanoseconds / NanosecondsPerSecond);
    // With nanosecond precision libpcap takes the field named for
    // microseconds as nanoseconds.
    header.ts.tv_usec = static_cast<suseconds_t>(nanoseconds % NanosecondsPerSecond);
    header.caplen = capturedLength;
    header.len = originalLength < capturedLength ? capturedLength : originalLength;
    pcap_dump(reinterpret_cast<u_char*>(m_dumper.get()), &header, data);
}

void PcapWriter::Close() {
    if (!m_dumper) {
        return;
    }
    const bool flushed = pcap_dump_flush(m_dumper.get()) == 0;
    m_dumper.reset();
    if (!flushed) {
        throw ToolError("cannot write '" + m_path + "' completely (disk full?).");
    }
}

} // namespace qndis::tool
