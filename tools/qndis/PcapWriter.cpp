#include "tools/qndis/PcapWriter.h"

#include "tools/qndis/ToolError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pcap/pcap.h>

namespace qndis::tool {

namespace {

constexpr int SnapLength = 65535;
constexpr std::size_t BufferSize = std::size_t{1} << 20;
constexpr std::uint64_t NanosecondsPerSecond = 1'000'000'000;

} // namespace

void PcapWriter::PcapClose::operator()(pcap* handle) const {
    pcap_close(handle);
}

void PcapWriter::DumperClose::operator()(pcap_dumper* dumper) const {
    pcap_dump_close(dumper);
}

PcapWriter::PcapWriter(const std::string& path)
    : m_path(path), m_buffer(std::make_unique<char[]>(BufferSize)),
      m_handle(pcap_open_dead_with_tstamp_precision(DLT_EN10MB, SnapLength,
                                                    PCAP_TSTAMP_PRECISION_NANO)) {
    if (!m_handle) {
        throw ToolError("cannot prepare a pcap file (out of memory).");
    }
    // "-" is standard output, as for other pcap writers.
    std::FILE* file = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw ToolError("cannot create '" + path + "': " + std::strerror(errno) + ".");
    }
    // Frames are written one after another: a large buffer saves most of
    // the system calls of stdio's default one. Standard output keeps the
    // buffer its owner gives it.
    if (file != stdout) {
        std::setvbuf(file, m_buffer.get(), _IOFBF, BufferSize);
    }
    m_dumper.reset(pcap_dump_fopen(m_handle.get(), file));
    if (!m_dumper) {
        if (file != stdout) {
            std::fclose(file);
        }
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
