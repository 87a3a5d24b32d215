#include "tools/qndis/PcapBlockReader.h"

#include "qndislib/frame/BufferFrame.h"
#include "tools/qndis/PcapLayout.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qndis::tool {

namespace {

using namespace pcap;

constexpr std::size_t BlockSize = std::size_t{1} << 20;
static_assert(BlockSize > RecordHeaderSize + CBufferFrame::MaxLength,
              "a whole record fits a block");

constexpr std::uint32_t NanosecondsPerMicrosecond = 1000;

template <typename Value> Value Field(const unsigned char* bytes) {
    Value value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// The stamp fields are signed, and libpcap widens them with their sign.
std::uint64_t Widened(std::uint32_t field) {
    return static_cast<std::uint64_t>(std::int64_t{static_cast<std::int32_t>(field)});
}

} // namespace

std::unique_ptr<PcapBlockReader> PcapBlockReader::Open(int descriptor, std::uint32_t snapLength) {
    std::array<unsigned char, FileHeaderSize> header{};
    if (::pread(descriptor, header.data(), header.size(), 0) !=
        static_cast<ssize_t>(header.size())) {
        return nullptr;
    }
    const auto magic = Field<std::uint32_t>(header.data() + MagicOffset);
    if ((magic != MicrosecondMagic && magic != NanosecondMagic) ||
        Field<std::uint16_t>(header.data() + VersionMajorOffset) != VersionMajor ||
        Field<std::uint16_t>(header.data() + VersionMinorOffset) != VersionMinor) {
        return nullptr;
    }
    return std::unique_ptr<PcapBlockReader>(
        new PcapBlockReader(descriptor, snapLength, magic == MicrosecondMagic));
}

PcapBlockReader::PcapBlockReader(int descriptor, std::uint32_t snapLength, bool microseconds)
    : m_descriptor(descriptor), m_snapLength(snapLength), m_microseconds(microseconds),
      m_block(std::make_unique_for_overwrite<unsigned char[]>(BlockSize)),
      m_offset(FileHeaderSize) {}

bool PcapBlockReader::Holds(std::size_t count) {
    if (m_used - m_at >= count) {
        return true;
    }
    std::memmove(m_block.get(), m_block.get() + m_at, m_used - m_at);
    m_used -= m_at;
    m_at = 0;
    while (m_used < count) {
        const ssize_t got = ::pread(m_descriptor, m_block.get() + m_used, BlockSize - m_used,
                                    static_cast<off_t>(m_offset + m_used));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            m_atEnd = got == 0 && m_used == 0;
            return false;
        }
        m_used += static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<FileRecord> PcapBlockReader::Next() {
    if (!Holds(RecordHeaderSize)) {
        return std::nullopt;
    }
    const unsigned char* header = m_block.get() + m_at;
    const auto captured = Field<std::uint32_t>(header + CapturedLengthOffset);
    const auto original = Field<std::uint32_t>(header + OriginalLengthOffset);
    if (captured > m_snapLength || captured > CBufferFrame::MaxLength || original < captured ||
        !Holds(RecordHeaderSize + captured)) {
        return std::nullopt;
    }
    header = m_block.get() + m_at;
    std::uint64_t fraction = Widened(Field<std::uint32_t>(header + FractionOffset));
    if (m_microseconds) {
        fraction *= NanosecondsPerMicrosecond;
    }
    const FileRecord record{{header + RecordHeaderSize, captured},
                            original,
                            Widened(Field<std::uint32_t>(header + SecondsOffset)),
                            static_cast<std::uint32_t>(fraction)};
    m_at += RecordHeaderSize + captured;
    m_offset += RecordHeaderSize + captured;
    return record;
}

} // namespace qndis::tool
