#include "tools/qndis/PcapWriter.h"

#include "tools/qndis/PcapLayout.h"
#include "tools/qndis/ToolError.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <type_traits>
#include <unistd.h>
#include <utility>

namespace qndis::tool {

namespace {

constexpr std::size_t BufferSize = std::size_t{1} << 20;
constexpr std::uint64_t NanosecondsPerSecond = 1'000'000'000;

using namespace pcap_layout;

// The largest frame libpcap reads back from a capture file.
constexpr std::uint32_t SnapLength = 262'144;

// pcapng blocks: each starts with its type and total length and ends with
// the total length again.
constexpr std::uint32_t SectionHeaderType = 0x0A0D0D0A;
constexpr std::uint32_t ByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint16_t PcapngMajor = 1;
constexpr std::uint16_t PcapngMinor = 0;
constexpr std::size_t SectionHeaderSize = 28;
constexpr std::size_t SectionLengthOffset = 16;
constexpr std::size_t SectionTrailerOffset = 24;
static_assert(SectionTrailerOffset + 4 == SectionHeaderSize);

constexpr std::uint32_t InterfaceType = 1;
constexpr std::size_t InterfaceFixedSize = 16; // type, length, link type, reserved, snap length
constexpr std::size_t InterfaceLinkTypeOffset = 8;
constexpr std::size_t InterfaceSnapOffset = 12;
constexpr std::uint16_t OptionEnd = 0;
constexpr std::uint16_t OptionName = 2;
constexpr std::uint16_t OptionResolution = 9;
constexpr unsigned char NanosecondResolution = 9;
// Longest interface name written; the option length field has 16 bits.
constexpr std::size_t MaxNameLength = 256;

constexpr std::uint32_t PacketType = 6;
constexpr std::size_t PacketHeaderSize = 28;
constexpr std::size_t PacketInterfaceOffset = 8;
constexpr std::size_t PacketStampHighOffset = 12;
constexpr std::size_t PacketStampLowOffset = 16;
constexpr std::size_t PacketCapturedOffset = 20;
constexpr std::size_t PacketOriginalOffset = 24;
static_assert(PacketOriginalOffset + 4 == PacketHeaderSize);
constexpr std::size_t BlockTrailerSize = 4;

constexpr std::size_t Padding(std::size_t length) {
    return (4 - length % 4) % 4;
}

template <std::size_t N, typename Value>
void Put(std::array<unsigned char, N>& block, std::size_t offset, Value value) {
    static_assert(std::is_trivially_copyable_v<Value>);
    std::memcpy(block.data() + offset, &value, sizeof value);
}

int Create(const std::string& path) {
    if (path == "-") {
        return STDOUT_FILENO;
    }
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        throw ToolError("cannot create '" + path + "': " + std::strerror(errno) + ".");
    }
    return descriptor;
}

} // namespace

PcapWriter::PcapWriter(const std::string& path, const PcapFormat& format)
    : m_name(path == "-" ? "the standard output" : "'" + path + "'"), m_descriptor(Create(path)),
      m_buffer(std::make_unique<unsigned char[]>(BufferSize)), m_pcapng(format.pcapng) {
    if (m_pcapng) {
        WritePcapngHeader(format);
    } else {
        WriteFileHeader(format.linkType);
    }
}

void PcapWriter::WriteFileHeader(std::uint32_t linkType) {
    std::array<unsigned char, FileHeaderSize> header{};
    Put(header, MagicOffset, NanosecondMagic);
    Put(header, VersionMajorOffset, VersionMajor);
    Put(header, VersionMinorOffset, VersionMinor);
    Put(header, ZoneOffset, std::int32_t{0});
    Put(header, SigFigsOffset, std::uint32_t{0});
    Put(header, SnapLengthOffset, SnapLength);
    Put(header, LinkTypeOffset, linkType);
    Append(header);
}

void PcapWriter::WritePcapngHeader(const PcapFormat& format) {
    std::array<unsigned char, SectionHeaderSize> section{};
    Put(section, 0, SectionHeaderType);
    Put(section, 4, static_cast<std::uint32_t>(SectionHeaderSize));
    Put(section, 8, ByteOrderMagic);
    Put(section, 12, PcapngMajor);
    Put(section, 14, PcapngMinor);
    Put(section, SectionLengthOffset, std::int64_t{-1}); // not known in advance
    Put(section, SectionTrailerOffset, static_cast<std::uint32_t>(SectionHeaderSize));
    Append(section);

    const std::string name = format.interfaceName.substr(0, MaxNameLength);
    const std::size_t nameOption = name.empty() ? 0 : 4 + name.size() + Padding(name.size());
    const std::size_t total = InterfaceFixedSize + nameOption + 8 + 4 + BlockTrailerSize;
    std::array<unsigned char, InterfaceFixedSize> fixed{};
    Put(fixed, 0, InterfaceType);
    Put(fixed, 4, static_cast<std::uint32_t>(total));
    Put(fixed, InterfaceLinkTypeOffset, static_cast<std::uint16_t>(format.linkType));
    Put(fixed, InterfaceSnapOffset, SnapLength);
    Append(fixed);
    const std::array<unsigned char, 4> zeros{};
    if (!name.empty()) {
        std::array<unsigned char, 4> option{};
        Put(option, 0, OptionName);
        Put(option, 2, static_cast<std::uint16_t>(name.size()));
        Append(option);
        Append({reinterpret_cast<const unsigned char*>(name.data()), name.size()});
        Append({zeros.data(), Padding(name.size())});
    }
    std::array<unsigned char, 16> rest{};
    Put(rest, 0, OptionResolution);
    Put(rest, 2, std::uint16_t{1});
    rest[4] = NanosecondResolution;
    Put(rest, 8, OptionEnd);
    Put(rest, 12, static_cast<std::uint32_t>(total));
    Append(rest);
}

PcapWriter::~PcapWriter() {
    if (m_descriptor < 0) {
        return;
    }
    Flush();
    if (m_descriptor != STDOUT_FILENO) {
        ::close(m_descriptor);
    }
}

bool PcapWriter::Write(const unsigned char* data, std::uint32_t capturedLength,
                       std::uint32_t originalLength, std::uint64_t nanoseconds) {
    return Write(data, capturedLength, originalLength, nanoseconds / NanosecondsPerSecond,
                 static_cast<std::uint32_t>(nanoseconds % NanosecondsPerSecond));
}

bool PcapWriter::Write(const unsigned char* data, std::uint32_t capturedLength,
                       std::uint32_t originalLength, std::uint64_t seconds,
                       std::uint32_t nanoseconds) {
    if (m_error != 0) {
        return false;
    }
    const std::uint32_t original = originalLength == 0 ? capturedLength : originalLength;
    if (m_pcapng) {
        const std::uint64_t stamp = seconds * NanosecondsPerSecond + nanoseconds;
        const std::size_t padding = Padding(capturedLength);
        const auto total = static_cast<std::uint32_t>(PacketHeaderSize + capturedLength + padding +
                                                      BlockTrailerSize);
        std::array<unsigned char, PacketHeaderSize> block{};
        Put(block, 0, PacketType);
        Put(block, 4, total);
        Put(block, PacketInterfaceOffset, std::uint32_t{0});
        Put(block, PacketStampHighOffset, static_cast<std::uint32_t>(stamp >> 32));
        Put(block, PacketStampLowOffset, static_cast<std::uint32_t>(stamp));
        Put(block, PacketCapturedOffset, capturedLength);
        Put(block, PacketOriginalOffset, original);
        Append(block);
        Append({data, capturedLength});
        const std::array<unsigned char, 4> zeros{};
        Append({zeros.data(), padding});
        std::array<unsigned char, BlockTrailerSize> trailer{};
        Put(trailer, 0, total);
        Append(trailer);
        return m_error == 0;
    }
    std::array<unsigned char, RecordHeaderSize> header{};
    Put(header, SecondsOffset, static_cast<std::uint32_t>(seconds));
    Put(header, FractionOffset, nanoseconds);
    Put(header, CapturedLengthOffset, capturedLength);
    Put(header, OriginalLengthOffset, original);
    Append(header);
    Append({data, capturedLength});
    return m_error == 0;
}

void PcapWriter::Append(std::span<const unsigned char> bytes) {
    if (m_used + bytes.size() > BufferSize) {
        Flush();
        if (bytes.size() > BufferSize) {
            WriteOut(bytes);
            return;
        }
    }
    std::memcpy(m_buffer.get() + m_used, bytes.data(), bytes.size());
    m_used += bytes.size();
}

void PcapWriter::Flush() {
    WriteOut({m_buffer.get(), m_used});
    m_used = 0;
}

void PcapWriter::WriteOut(std::span<const unsigned char> bytes) {
    while (m_error == 0 && !bytes.empty()) {
        const ssize_t written = ::write(m_descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno != EINTR) {
            m_error = errno;
        } else if (written == 0) {
            m_error = EIO; // a file that takes nothing would otherwise be retried for ever
        } else if (written > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        }
    }
}

void PcapWriter::Close() {
    if (m_descriptor < 0) {
        return;
    }
    Flush();
    const int descriptor = std::exchange(m_descriptor, -1);
    if (descriptor != STDOUT_FILENO && ::close(descriptor) != 0 && m_error == 0) {
        m_error = errno;
    }
    if (m_error != 0) {
        throw ToolError("cannot write " + m_name + ": " + std::strerror(m_error) + ".");
    }
}

} // namespace qndis::tool
