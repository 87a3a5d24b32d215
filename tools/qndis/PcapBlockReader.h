#pragma once

#include "tools/qndis/CaptureFile.h"
#include "tools/qndis/PcapLayout.h"

#include <cstdint>
#include <cstring>
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
    // Inline, as it runs once per frame.
    std::optional<FileRecord> Next() {
        using namespace pcap_layout;
        if (!Holds(RecordHeaderSize)) {
            return std::nullopt;
        }
        const auto captured = Field(CapturedLengthOffset);
        const auto original = Field(OriginalLengthOffset);
        if (captured > m_longest || original < captured || !Holds(RecordHeaderSize + captured)) {
            return std::nullopt;
        }
        // The stamp fields are signed, and libpcap widens them with their sign.
        const auto widened = [this](std::size_t offset) {
            return static_cast<std::uint64_t>(
                std::int64_t{static_cast<std::int32_t>(Field(offset))});
        };
        const std::uint64_t fraction = widened(FractionOffset) * (m_microseconds ? 1000 : 1);
        const FileRecord record{{m_block.get() + m_at + RecordHeaderSize, captured},
                                original,
                                widened(SecondsOffset),
                                static_cast<std::uint32_t>(fraction)};
        m_at += RecordHeaderSize + captured;
        m_offset += RecordHeaderSize + captured;
        return record;
    }
    bool AtEnd() const { return m_atEnd; }
    // The file offset behind the last record handed out.
    std::uint64_t Offset() const { return m_offset; }

private:
    PcapBlockReader(int descriptor, std::uint32_t snapLength, bool microseconds);
    // True when `count` bytes from the current record on are in the block.
    bool Holds(std::size_t count) { return m_used - m_at >= count || Refill(count); }
    bool Refill(std::size_t count);
    // A field of the current record's header, in this machine's order.
    std::uint32_t Field(std::size_t offset) const {
        std::uint32_t value;
        std::memcpy(&value, m_block.get() + m_at + offset, sizeof value);
        return value;
    }

    int m_descriptor;
    // The longest frame taken: the snap length, within what a frame holds.
    std::uint32_t m_longest;
    bool m_microseconds;
    std::unique_ptr<unsigned char[]> m_block;
    std::size_t m_at = 0;   // the current record in the block
    std::size_t m_used = 0; // bytes of the block read from the file
    std::uint64_t m_offset; // the file offset of m_at
    bool m_atEnd = false;
};

} // namespace qndis::tool
