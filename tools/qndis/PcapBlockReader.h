#pragma once

#include "tools/qndis/CaptureFile.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace qndis::tool {

// Reads the records of a pcap file of this machine's byte order straight
// from its descriptor, a large block at a time, each record in place: no
// library call and no copy per frame. It takes only records that are
// plainly sound and stops at the first that is not (cut short, longer than
// the snap length, unreadable), so that libpcap reads on from there and
// says what is wrong in its own words.
class PcapBlockReader {
public:
    // Null when the file is not a pcap file of this byte order, version 2.4,
    // with micro- or nanosecond stamps. `snapLength` is the one libpcap
    // settled on for the file.
    static std::unique_ptr<PcapBlockReader> Open(int descriptor, std::uint32_t snapLength);

    PcapBlockReader(const PcapBlockReader&) = delete;
    PcapBlockReader& operator=(const PcapBlockReader&) = delete;

    // The next record, valid until the next call; none at the end of the
    // file (AtEnd) or at a record left to libpcap, which starts at Offset.
    std::optional<FileRecord> Next();
    bool AtEnd() const { return m_atEnd; }
    // The file offset behind the last record handed out.
    std::uint64_t Offset() const { return m_offset; }

private:
    PcapBlockReader(int descriptor, std::uint32_t snapLength, bool microseconds);
    // True when `count` bytes from the current record on are in the block.
    bool Holds(std::size_t count);

    int m_descriptor;
    std::uint32_t m_snapLength;
    bool m_microseconds;
    std::unique_ptr<unsigned char[]> m_block;
    std::size_t m_at = 0;   // the current record in the block
    std::size_t m_used = 0; // bytes of the block read from the file
    std::uint64_t m_offset; // the file offset of m_at
    bool m_atEnd = false;
};

} // namespace qndis::tool
