#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct pcap;
struct pcap_dumper;

namespace qndis::tool {

// Writes Ethernet frames to a standard pcap file with nanosecond time
// stamps, through libpcap's own dump functions so that every reader of the
// format accepts it.
class PcapWriter {
public:
    // Raises ToolError when the file cannot be created; "-" writes to
    // standard output.
    explicit PcapWriter(const std::string& path);
    ~PcapWriter();
    PcapWriter(const PcapWriter&) = delete;
    PcapWriter& operator=(const PcapWriter&) = delete;

    void Write(const unsigned char* data, std::uint32_t capturedLength,
               std::uint32_t originalLength, std::uint64_t nanoseconds);
    // Raises ToolError when the written data could not be flushed.
    void Close();

private:
    struct PcapClose {
        void operator()(pcap* handle) const;
    };
    struct DumperClose {
        void operator()(pcap_dumper* dumper) const;
    };

    std::string m_path;
    // stdio's buffer of the file; it outlives the dumper that closes the file.
    std::unique_ptr<char[]> m_buffer;
    std::unique_ptr<pcap, PcapClose> m_handle;
    std::unique_ptr<pcap_dumper, DumperClose> m_dumper;
};

} // namespace qndis::tool
