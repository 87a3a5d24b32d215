#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

struct pcap;

namespace qndis::tool {

class PcapBlockReader;

// One frame of a capture file, valid until the next read.
struct FileRecord {
    std::span<const unsigned char> bytes;
    std::uint32_t originalLength = 0;
    // Since the epoch, as the file has it.
    std::uint64_t seconds = 0;
    std::uint32_t fraction = 0; // nanoseconds
    // Both in one, wrapping for times beyond the year 2554, which only a
    // damaged pcapng file holds.
    std::uint64_t Nanoseconds() const { return seconds * 1'000'000'000 + fraction; }
};

// Reads the frames of a pcap or pcapng file of any link type that a medium
// of the library describes through
// libpcap, whose reader bounds every length it reads: no record it hands
// out is longer than 262,144 bytes. The sound records of a plain pcap file
// are read past libpcap, in place, under the same bounds.
class CaptureFile {
public:
    // "-" reads standard input. Raises ToolError, in libpcap's words where
    // they say more, when the file is missing, unreadable, not a capture
    // file or of a link type no medium describes (the error names it).
    explicit CaptureFile(const std::string& path);
    ~CaptureFile();
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    // The next frame; none at the end of the file and where the file is
    // damaged, which Damage() then describes.
    std::optional<FileRecord> Next();
    // Empty unless reading stopped at damage: a sentence saying what is
    // wrong and where.
    const std::string& Damage() const { return m_damage; }
    // The link type as capture files number it, and the shorthand of the
    // medium that describes its frames.
    std::uint32_t LinkType() const { return m_linkType; }
    const char* Medium() const { return m_medium; }
    // The bytes of the file used so far; 0 where that is not known (a pipe).
    std::uint64_t Offset() const { return m_offset; }

private:
    struct PcapClose {
        void operator()(pcap* handle) const;
    };
    pcap* Open(const std::string& path);
    std::uint64_t Position() const;
    void LeaveBlocks();

    std::string m_name;
    // The stream's buffer; it outlives the handle that closes the stream.
    std::unique_ptr<char[]> m_buffer;
    std::unique_ptr<pcap, PcapClose> m_handle;
    // Reads a plain pcap file's sound records until the first that is not.
    std::unique_ptr<PcapBlockReader> m_blocks;
    std::string m_damage;
    bool m_seekable = false;
    std::uint64_t m_offset = 0;
    std::uint64_t m_frames = 0;
    std::uint32_t m_linkType = 0;
    const char* m_medium = nullptr;
};

} // namespace qndis::tool
