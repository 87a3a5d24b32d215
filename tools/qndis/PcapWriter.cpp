#include "tools/qndis/PcapWriter.h"

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

// The file header.
constexpr std::uint32_t NanosecondMagic = 0xA1B23C4D;
constexpr std::uint16_t VersionMajor = 2;
constexpr std::uint16_t VersionMinor = 4;
// The largest frame libpcap reads back from a capture file.
constexpr std::uint32_t SnapLength = 262'144;
constexpr std::size_t MagicOffset = 0;
constexpr std::size_t VersionMajorOffset = 4;
constexpr std::size_t VersionMinorOffset = 6;
constexpr std::size_t ZoneOffset = 8;
constexpr std::size_t SigFigsOffset = 12;
constexpr std::size_t SnapLengthOffset = 16;
constexpr std::size_t LinkTypeOffset = 20;
constexpr std::size_t FileHeaderSize = 24;
static_assert(LinkTypeOffset + 4 == FileHeaderSize && ZoneOffset + 4 == SigFigsOffset);

// The header of each record.
constexpr std::size_t SecondsOffset = 0;
constexpr std::size_t FractionOffset = 4;
constexpr std::size_t CapturedLengthOffset = 8;
constexpr std::size_t OriginalLengthOffset = 12;
constexpr std::size_t RecordHeaderSize = 16;
static_assert(OriginalLengthOffset + 4 == RecordHeaderSize);

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

PcapWriter::PcapWriter(const std::string& path, std::uint32_t linkType)
    : m_name(path == "-" ? "the standard output" : "'" + path + "'"), m_descriptor(Create(path)),
      m_buffer(std::make_unique<unsigned char[]>(BufferSize)) {
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
    std::array<unsigned char, RecordHeaderSize> header{};
    Put(header, SecondsOffset, static_cast<std::uint32_t>(seconds));
    Put(header, FractionOffset, nanoseconds);
    Put(header, CapturedLengthOffset, capturedLength);
    Put(header, OriginalLengthOffset, originalLength == 0 ? capturedLength : originalLength);
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
