#include "tools/qndis/PcapBlockReader.h"

#include "qndislib/frame/BufferFrame.h"
#include "tools/qndis/PcapLayout.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qndis::tool {

namespace {

using namespace pcap_layout;

constexpr std::size_t BlockSize = std::size_t{1} << 20;
static_assert(BlockSize > RecordHeaderSize + CBufferFrame::MaxLength,
              "a whole record fits a block");

} // namespace

std::unique_ptr<PcapBlockReader> PcapBlockReader::Open(int descriptor, std::uint32_t snapLength) {
    std::array<unsigned char, FileHeaderSize> header{};
    if (::pread(descriptor, header.data(), header.size(), 0) !=
        static_cast<ssize_t>(header.size())) {
        return nullptr;
    }
    std::uint32_t magic = 0;
    std::array<std::uint16_t, 2> version{};
    std::memcpy(&magic, header.data() + MagicOffset, sizeof magic);
    std::memcpy(&version[0], header.data() + VersionMajorOffset, sizeof version[0]);
    std::memcpy(&version[1], header.data() + VersionMinorOffset, sizeof version[1]);
    if ((magic != MicrosecondMagic && magic != NanosecondMagic) || version[0] != VersionMajor ||
        version[1] != VersionMinor) {
        return nullptr;
    }
    return std::unique_ptr<PcapBlockReader>(
        new PcapBlockReader(descriptor, snapLength, magic == MicrosecondMagic));
}

PcapBlockReader::PcapBlockReader(int descriptor, std::uint32_t snapLength, bool microseconds)
    : m_descriptor(descriptor),
      m_longest(std::min<std::uint32_t>(snapLength, CBufferFrame::MaxLength)),
      m_microseconds(microseconds),
      m_block(std::make_unique_for_overwrite<unsigned char[]>(BlockSize)),
      m_offset(FileHeaderSize) {}

bool PcapBlockReader::Refill(std::size_t count) {
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

} // namespace qndis::tool
