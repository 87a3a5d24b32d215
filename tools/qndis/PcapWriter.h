#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace qndis::tool {

// What the file says about its frames. pcapng adds one interface block
// with the name, the link type, the snap length and nanosecond resolution.
struct PcapFormat {
    std::uint32_t linkType = 1;
    bool pcapng = false;
    std::string interfaceName;
};

// Writes frames of one link type to a standard pcap or a pcapng file with nanosecond time
// stamps, in the byte order of this machine as libpcap's own writer does.
// Records gather in a large buffer that goes out in whole writes, each
// checked: the first failure is kept, stops all further writing and is
// raised by Close, so no command ends well with a file cut short.
class PcapWriter {
public:
    // Raises ToolError when the file cannot be created; "-" writes to
    // standard output.
    explicit PcapWriter(const std::string& path, const PcapFormat& format = {});
    // Writes what the buffer holds without a word on failure: an unclosed
    // writer belongs to a command that is already failing for another reason.
    ~PcapWriter();
    PcapWriter(const PcapWriter&) = delete;
    PcapWriter& operator=(const PcapWriter&) = delete;

    // The original length is what the frame had before capture cut it,
    // written as given; 0 stands for "not known" and is written as the
    // captured length. False once writing has failed; Close then says why.
    bool Write(const unsigned char* data, std::uint32_t capturedLength,
               std::uint32_t originalLength, std::uint64_t nanoseconds);
    // The same with the time stamp in seconds and nanoseconds, for stamps
    // too far off for 64 bits of nanoseconds. The format keeps the low 32
    // bits of the seconds, as every pcap writer does.
    bool Write(const unsigned char* data, std::uint32_t capturedLength,
               std::uint32_t originalLength, std::uint64_t seconds, std::uint32_t nanoseconds);
    // Writes the rest and closes the file. Raises ToolError, naming the file
    // and the system's reason, when any write since the start failed.
    void Close();

private:
    void WriteFileHeader(std::uint32_t linkType);
    void WritePcapngHeader(const PcapFormat& format);
    void Append(std::span<const unsigned char> bytes);
    void Flush();
    void WriteOut(std::span<const unsigned char> bytes);

    std::string m_name;
    int m_descriptor = -1;
    std::unique_ptr<unsigned char[]> m_buffer;
    std::size_t m_used = 0;
    int m_error = 0; // errno of the first failed write or close
    bool m_pcapng = false;
};

} // namespace qndis::tool
